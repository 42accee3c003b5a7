// The zero-fill run behind the Start button.
#include "form_main.h"
#include "ui_form_main.h"

#include "df_volume.h"
#include "functions_main.h"
#include "run_signals.h"
#include "scratch_run.h"
#include "zero_fill.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>

#include <memory>

namespace {

const QString qsEntry_Separator = QStringLiteral("   --   ");

// Closing the window during a run cancels it when the user allowed cancelling, and otherwise
// waits for the run's end; either way the window closes only once the clean-up is done, so the
// disk is never left full.
class Close_During_Run : public QObject
{
public:
    explicit Close_During_Run(bool bCancels) : m_bCancels(bCancels) {}
    bool bClose_Requested = false;

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override
    {
        if (pEvent->type() != QEvent::Close)
            return QObject::eventFilter(pWatched, pEvent);
        pEvent->ignore();
        bClose_Requested = true;
        if (m_bCancels)
            g_bCancel = true;
        return true;
    }

private:
    bool m_bCancels;
};

void vShow_Nothing_Chosen()
{
    iMessageBox(QStringLiteral("Нечего занулять."), QStringLiteral("Нужно выбрать раздел для зануления."), 2,
                iMsgBox_OK_Button, 0, 0, QString());
}

void vShow_Write_Error(const QString &qsEntry, const QString &qsPath)
{
    iMessageBox(QStringLiteral("Ошибка записи."),
                QStringLiteral("Нет прав на запись на устройстве ") + qsEntry
                    + QStringLiteral(" или не получилось удалить папку ") + qsPath + QStringLiteral("."),
                3, iMsgBox_Abort_Button, 0, 0, QString());
}

QString qsScratch_Path(const QString &qsDev_Path)
{
    return QString(qsDev_Path + QStringLiteral("/Delete_Zero")).replace(QStringLiteral("//"), QStringLiteral("/"));
}

// The scratch folder of a run on qsDev_Path, made and guarded; none (after the error box) when
// none can be made.
std::unique_ptr<Scratch_Run> pPrepare_Scratch_Folder(const QString &qsEntry, const QString &qsDev_Path)
{
    QString qsWrite_Path = qsScratch_Path(qsDev_Path);
    auto pRun = std::make_unique<Scratch_Run>(qsWrite_Path);
    if (pRun->bPrepare())
        return pRun;
    if (qsDev_Path == QStringLiteral("/")) {
        const QString qsHome = qslProcess_Run(QStringLiteral("printenv HOME"), false).value(0);
        qsWrite_Path = qsHome + QStringLiteral("/Delete_Zero");
        // Filling another volume than the one measured would never make its free space fall;
        // subvolumes of one btrfs volume share one device and one free space.
        pRun = std::make_unique<Scratch_Run>(qsWrite_Path);
        if (!qsHome.isEmpty() && bSame_Df_Device(qsHome, qsDev_Path) && pRun->bPrepare())
            return pRun;
    }
    vShow_Write_Error(qsEntry, qsWrite_Path);
    return nullptr;
}

// Locks every control but the cancel button for a run, or unlocks them after it.
void vLock_For_Run(Ui::Form_Main *ui, bool bLock, bool bCancellable)
{
    if (bLock) {
        ui->pushButton_Start->setEnabled(false);
        if (bCancellable)
            ui->pushButton_Stop->setEnabled(true);
    } else {
        ui->pushButton_Stop->setEnabled(false);
        ui->pushButton_Start->setEnabled(true);
    }
    for (QWidget *pWidget : {static_cast<QWidget *>(ui->comboBox_Partitions), static_cast<QWidget *>(ui->checkBox_Stop),
                             static_cast<QWidget *>(ui->pushButton_Licence), static_cast<QWidget *>(ui->pushButton_Help)})
        pWidget->setEnabled(!bLock);
}

} // namespace

void Form_Main::on_pushButton_Start_clicked()
{
    if (ui->comboBox_Partitions->currentIndex() == 0) {
        vShow_Nothing_Chosen();
        return;
    }
    const QString qsEntry = ui->comboBox_Partitions->currentText();
    // Everything after the first separator is the mount point, whatever characters it holds.
    const int iSeparator = qsEntry.indexOf(qsEntry_Separator);
    const QString qsDev_Path = iSeparator < 0 ? QString() : qsEntry.mid(iSeparator + qsEntry_Separator.size());
    if (qsDev_Path.isEmpty()) {
        vShow_Nothing_Chosen();
        return;
    }
    if (iMessageBox(QStringLiteral("Подтвердите правильность выбора раздела."), qsEntry, 2,
                    iMsgBox_Yes_Button + iMsgBox_No_Button, iMsgBox_No_Button, 0, QString())
        != iMsgBox_Yes_Button)
        return;

    // The list was read at start-up: a partition unmounted since leaves its mount point a plain
    // folder of another volume, which must not be filled in its place.
    const Df_Volume dvChosen{qsEntry.left(iSeparator), qsDev_Path};
    if (!bStill_Mounted(dvChosen)) {
        vShow_Write_Error(qsEntry, qsScratch_Path(qsDev_Path));
        return;
    }

    // From the first change on disk to the end of the clean-up, a signal waits for the clean-up;
    // one seen while events run (a message box, any run's pump) stops the run and closes the box.
    Run_Signal_Guard qSignal_Guard([]() {
        g_bCancel = true;
        if (QWidget *pModal = QApplication::activeModalWidget())
            pModal->close();
    });
    const std::unique_ptr<Scratch_Run> pRun = pPrepare_Scratch_Folder(qsEntry, qsDev_Path);
    if (!pRun)
        return;

    ui->progressBar_Total->setValue(0);
    ui->progressBar_File->setValue(0);
    ui->label_Copy_Value->setText(QStringLiteral("0"));
    g_bCancel = false;
    const bool bCancellable = ui->checkBox_Stop->isChecked();
    vLock_For_Run(ui, true, bCancellable);
    Close_During_Run qClose_Filter(bCancellable);
    installEventFilter(&qClose_Filter);

    Zero_Fill_Hooks hooks;
    hooks.dFree_Space = [&qsDev_Path]() { return dGet_Partition_FreeSpace(qsDev_Path); };
    hooks.vFile_Progress = [this](int iValue) { ui->progressBar_File->setValue(iValue); };
    hooks.vTotal_Progress = [this](int iValue) { ui->progressBar_Total->setValue(iValue); };
    hooks.vFile_Count = [this](int iFiles) { ui->label_Copy_Value->setText(QString::number(iFiles)); };
    // Without the cancel option the buttons stay inert, but the bars repaint and the window
    // manager's pings are answered, so that no desktop offers to kill a window at work.
    hooks.bPump_Cancelled = [bCancellable]() {
        QCoreApplication::processEvents(bCancellable ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        return g_bCancel || Run_Signal_Guard::bSignalled();
    };
    hooks.bStop_Now = &Run_Signal_Guard::bSignalled;
    hooks.bVolume_Lost = [&dvChosen]() { return !bStill_Mounted(dvChosen); };
    const Zero_Fill_Result result = pRun->zfrFill(hooks);

    pRun->vClean_Up();
    // Only after the clean-up: a box left unanswered must not keep the disk full.
    if (result.eEnd == Zero_Fill_End::Failed && !Run_Signal_Guard::bSignalled())
        vShow_Write_Error(qsEntry, result.qsFailed_Path);
    ui->progressBar_Total->setValue(100);
    ui->progressBar_File->setValue(100);
    ui->label_Copy_Value->setText(QStringLiteral("ГОТОВО"));
    vLock_For_Run(ui, false, bCancellable);

    removeEventFilter(&qClose_Filter);
    if (qClose_Filter.bClose_Requested && !Run_Signal_Guard::bSignalled())
        close();
}
