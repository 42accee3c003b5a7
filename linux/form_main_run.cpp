// The zero-fill run behind the Start button.
#include "form_main.h"
#include "ui_form_main.h"

#include "df_volume.h"
#include "functions_main.h"
#include "volume_run.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>


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

// Where the run may put its scratch folder: the top of the partition, and for "/" without write
// permission the home folder, used only if df names the same device for it (as for btrfs
// subvolumes): filling another volume would never make the measured free space fall. The last
// place named is the one a refusal names.
QStringList qslScratch_Paths(const QString &qsDev_Path, QString &qsLast_Path)
{
    QStringList qslPaths{qsScratch_Path(qsDev_Path)};
    qsLast_Path = qslPaths.first();
    if (qsDev_Path == QStringLiteral("/")) {
        const QString qsHome = qslProcess_Run(QStringLiteral("printenv HOME"), false).value(0);
        qsLast_Path = qsHome + QStringLiteral("/Delete_Zero");
        if (!qsHome.isEmpty() && bSame_Df_Device(qsHome, qsDev_Path))
            qslPaths << qsLast_Path;
    }
    return qslPaths;
}

// The box of a run that could not start.
void vShow_Not_Started(const Volume_Run_Result &result, const QString &qsEntry, const QString &qsPath)
{
    switch (result.eEnd) {
    case Volume_Run_End::Busy:
        iMessageBox(QStringLiteral("Раздел уже зануляется."),
                    QStringLiteral("Другой запуск зануления уже работает на разделе ") + qsEntry
                        + QStringLiteral(". Дождитесь его окончания."),
                    3, iMsgBox_Abort_Button, 0, 0, QString());
        return;
    default:
        vShow_Write_Error(qsEntry, qsPath);
    }
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

// A progress bar repaints itself at once on every new value, and each pump paints what changed;
// either waits for the display. One of each per interval keeps what the user sees current
// without the run waiting on the screen: the bars always hold the latest value.
class Display_Throttle
{
public:
    void vShow(QProgressBar *pBar, int iValue)
    {
        const bool bDue = bDue_And_Restart(m_qPaint_Clock);
        if (!bDue)
            pBar->setUpdatesEnabled(false);
        pBar->setValue(iValue);
        if (!bDue)
            pBar->setUpdatesEnabled(true);  // painted at the next due repaint or pump
    }
    bool bPump_Due() { return bDue_And_Restart(m_qPump_Clock); }

private:
    // The first call is always due, so a cancel pressed early is seen at the first step.
    static bool bDue_And_Restart(QElapsedTimer &qClock)
    {
        if (qClock.isValid() && !qClock.hasExpired(iInterval_Ms))
            return false;
        qClock.start();
        return true;
    }

    static constexpr qint64 iInterval_Ms = 40;
    QElapsedTimer m_qPaint_Clock;
    QElapsedTimer m_qPump_Clock;
};

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

    const bool bCancellable = ui->checkBox_Stop->isChecked();
    Close_During_Run qClose_Filter(bCancellable);
    bool bStarted = false;
    Volume_Run_Options options;
    QString qsLast_Path;
    options.qslScratch_Paths = qslScratch_Paths(qsDev_Path, qsLast_Path);
    // Opened once: the volume recorded, which every folder the run writes in must lie on, and the
    // first place of the scratch folder are this very folder, whatever the name leads to later.
    const Held_Volume hvChosen(QFile::encodeName(qsDev_Path));
    options.iParent_Fd = hvChosen.iFd();
    options.viChosen = hvChosen.vi();
    options.dMeasure_Free = [&qsDev_Path]() { return dGet_Partition_FreeSpace(qsDev_Path); };
    options.bStill_Chosen = [&dvChosen]() { return bStill_Mounted(dvChosen); };
    // A signal seen while events run (a message box, any run's pump) stops the run and closes the box.
    options.vOn_Signal = []() {
        g_bCancel = true;
        if (QWidget *pModal = QApplication::activeModalWidget())
            pModal->close();
    };
    options.vOn_Started = [&]() {
        bStarted = true;
        ui->progressBar_Total->setValue(0);
        ui->progressBar_File->setValue(0);
        ui->label_Copy_Value->setText(QStringLiteral("0"));
        g_bCancel = false;
        vLock_For_Run(ui, true, bCancellable);
        installEventFilter(&qClose_Filter);
    };
    Fill_Observer observer;
    Display_Throttle qThrottle;
    observer.vFile_Progress = [this, &qThrottle](int iValue) { qThrottle.vShow(ui->progressBar_File, iValue); };
    observer.vTotal_Progress = [this, &qThrottle](int iValue) { qThrottle.vShow(ui->progressBar_Total, iValue); };
    observer.vFile_Count = [this](int iFiles) { ui->label_Copy_Value->setText(QString::number(iFiles)); };
    // Without the cancel option the buttons stay inert, but the bars repaint and the window
    // manager's pings are answered, so that no desktop offers to kill a window at work.
    observer.bPump_Cancelled = [bCancellable, &qThrottle]() {
        if (qThrottle.bPump_Due())
            QCoreApplication::processEvents(bCancellable ? QEventLoop::AllEvents
                                                         : QEventLoop::ExcludeUserInputEvents);
        return g_bCancel;
    };
    // From the first change on disk to the end of the clean-up, a signal waits for the clean-up;
    // the program ends by it once the window has shown the run's end.
    const Volume_Run_Result result = Volume_Run(options).vrRun(observer);
    if (!bStarted) {
        if (result.iSignal == 0)
            vShow_Not_Started(result, qsEntry,
                              result.eEnd == Volume_Run_End::Not_Made ? qsLast_Path : result.qsPath);
        vEnd_By_Signal(result.iSignal);
        return;
    }

    // Only after the clean-up: a box left unanswered must not keep the disk full.
    if (result.eEnd != Volume_Run_End::Filled && result.eEnd != Volume_Run_End::Cancelled && result.iSignal == 0)
        vShow_Write_Error(qsEntry, result.qsPath);
    ui->progressBar_Total->setValue(100);
    ui->progressBar_File->setValue(100);
    ui->label_Copy_Value->setText(QStringLiteral("ГОТОВО"));
    vLock_For_Run(ui, false, bCancellable);

    removeEventFilter(&qClose_Filter);
    vEnd_By_Signal(result.iSignal);
    if (qClose_Filter.bClose_Requested)
        close();
}
