#include "fake_commands.h"
#include "form_main.h"
#include "run_driver.h"

#include <QtTest>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

const QByteArray qbaDf_Listing =
    "Filesystem     1K-blocks     Used Available Use% Mounted on\n"
    "/dev/sda1       41152736 12345678  26693928  32% /\n"
    "udev             4017844        0   4017844   0% /dev\n"
    "tmpfs            4030836        0   4030836   0% /dev/shm\n"
    "/dev/sdc1       30000000  1000000  29000000   4% /media/My Disk\n";

const QColor qcGreen(170, 255, 127);
const QColor qcYellow(255, 255, 127);

} // namespace

class tst_Form_Main : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowSizeAndFlags();
    void widgetTree_data();
    void widgetTree();
    void layoutOrderAndPlace();
    void partitionList();
    void partitionListWithoutDf();
    void centring_data();
    void centring();
    void stopSlot();
    void slotsAndConnections();
    void documentButtons();
    void startRefusals_data();
    void startRefusals();

private:
    Fake_Commands *pFake = nullptr;
    Form_Main *pWindow = nullptr;
};

void tst_Form_Main::init()
{
    pFake = new Fake_Commands;
    QVERIFY(pFake->bAdd_Df(qbaDf_Listing));
    QVERIFY(pFake->bAdd(QStringLiteral("xterm"),
                        "printf '%s\\n' \"$#\" \"$@\" >> \"$(dirname \"$0\")/xterm-args.txt\""));
    pWindow = new Form_Main;
}

void tst_Form_Main::cleanup()
{
    delete pWindow;
    pWindow = nullptr;
    delete pFake;
    pFake = nullptr;
    g_bCancel = false;
}

void tst_Form_Main::windowSizeAndFlags()
{
    QCOMPARE(pWindow->objectName(), QStringLiteral("Form_Main"));
    QCOMPARE(pWindow->size(), QSize(605, 370));
    QCOMPARE(pWindow->minimumSize(), QSize(605, 370));
    QCOMPARE(pWindow->maximumSize(), QSize(605, 370));
    QCOMPARE(pWindow->baseSize(), QSize(605, 370));
    QCOMPARE(pWindow->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(pWindow->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(pWindow->windowTitle(), QStringLiteral("Morvane v.1.2"));
    QCOMPARE(pWindow->iconSize(), QSize(64, 64));
    QVERIFY(!pWindow->autoFillBackground());

    const Qt::WindowFlags qFlags = pWindow->windowFlags();
    // Qt adds the title and system-menu hints that a close button implies; nothing else may appear.
    QCOMPARE(qFlags & ~(Qt::WindowType_Mask | Qt::WindowTitleHint | Qt::WindowSystemMenuHint),
             Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    QVERIFY(qFlags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(qFlags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!qFlags.testFlag(Qt::WindowMaximizeButtonHint));

    pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(pWindow));
    pWindow->resize(800, 600);
    QCOMPARE(pWindow->size(), QSize(605, 370));
    pWindow->resize(100, 100);
    QCOMPARE(pWindow->size(), QSize(605, 370));

    QVERIFY(!pWindow->windowIcon().isNull());
    QVERIFY(pWindow->windowIcon().availableSizes().contains(QSize(16, 16)));
    QVERIFY(pWindow->windowIcon().availableSizes().contains(QSize(256, 256)));

    QWidget *qCentral = pWindow->centralWidget();
    QCOMPARE(qCentral->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(qCentral->minimumSize(), QSize(605, 370));
    QCOMPARE(qCentral->maximumSize(), QSize(605, 370));
    QCOMPARE(qCentral->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(qCentral->layout(), nullptr);
}

void tst_Form_Main::widgetTree_data()
{
    QTest::addColumn<QString>("qsName");
    QTest::addColumn<QString>("qsClass");
    QTest::addColumn<bool>("bBold");
    QTest::addColumn<QColor>("qButton_Colour");
    QTest::addColumn<bool>("bEnabled");
    QTest::addColumn<QString>("qsCaption");

    const QColor qNone;
    QTest::newRow("Start") << "pushButton_Start" << "QPushButton" << true << qcGreen << true
                           << QStringLiteral("Занулить свободное место в выбранном разделе");
    QTest::newRow("Stop") << "pushButton_Stop" << "QPushButton" << true << qcGreen << false << QStringLiteral("Отмена");
    QTest::newRow("checkBox") << "checkBox_Stop" << "QCheckBox" << true << qNone << true
                              << QStringLiteral("Использовать отмену (медленнее)");
    QTest::newRow("combo") << "comboBox_Partitions" << "QComboBox" << true << qcYellow << true << QString();
    QTest::newRow("label_File") << "label_File" << "QLabel" << false << qNone << true
                                << QStringLiteral("Создание файла для зануления");
    QTest::newRow("progressBar_File") << "progressBar_File" << "QProgressBar" << true << qNone << true << QString();
    QTest::newRow("label_Copy") << "label_Copy" << "QLabel" << false << qNone << true
                                << QStringLiteral("Копий файла зануления");
    QTest::newRow("label_Copy_Value") << "label_Copy_Value" << "QLabel" << true << qNone << true << QStringLiteral("-");
    QTest::newRow("label_Total") << "label_Total" << "QLabel" << false << qNone << true << QStringLiteral("Общий итог");
    QTest::newRow("progressBar_Total") << "progressBar_Total" << "QProgressBar" << true << qNone << true << QString();
    QTest::newRow("Licence") << "pushButton_Licence" << "QPushButton" << true << qNone << true
                             << QStringLiteral("Лицензионное соглашение");
    QTest::newRow("Help") << "pushButton_Help" << "QPushButton" << true << qNone << true << QStringLiteral("Справка");
}

void tst_Form_Main::widgetTree()
{
    QFETCH(QString, qsName);
    QFETCH(QString, qsClass);
    QFETCH(bool, bBold);
    QFETCH(QColor, qButton_Colour);
    QFETCH(bool, bEnabled);
    QFETCH(QString, qsCaption);

    QWidget *qWidget = pWindow->findChild<QWidget *>(qsName);
    QVERIFY(qWidget != nullptr);
    QCOMPARE(QString::fromLatin1(qWidget->metaObject()->className()), qsClass);
    QCOMPARE(qWidget->parentWidget()->objectName(), QStringLiteral("verticalLayoutWidget"));
    QCOMPARE(qWidget->parentWidget()->parentWidget(), pWindow->centralWidget());
    QCOMPARE(qWidget->font().pointSize(), 12);
    QCOMPARE(qWidget->font().bold(), bBold);
    QCOMPARE(qWidget->isEnabled(), bEnabled);

    if (qButton_Colour.isValid()) {
        for (QPalette::ColorGroup qGroup : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            const QBrush qBrush = qWidget->palette().brush(qGroup, QPalette::Button);
            QCOMPARE(qBrush.color(), qButton_Colour);
            QCOMPARE(qBrush.style(), Qt::SolidPattern);
        }
    }

    if (auto *qButton = qobject_cast<QAbstractButton *>(qWidget)) {
        QCOMPARE(qButton->text(), qsCaption);
        QVERIFY(!qButton->isChecked());
    } else if (auto *qLabel = qobject_cast<QLabel *>(qWidget)) {
        QCOMPARE(qLabel->text(), qsCaption);
        QCOMPARE(qLabel->alignment(), Qt::AlignCenter);
    } else if (auto *qBar = qobject_cast<QProgressBar *>(qWidget)) {
        QCOMPARE(qBar->minimum(), 0);
        QCOMPARE(qBar->maximum(), 100);
        QCOMPARE(qBar->value(), 100);
    }
}

void tst_Form_Main::layoutOrderAndPlace()
{
    auto *qPanel = pWindow->findChild<QWidget *>(QStringLiteral("verticalLayoutWidget"));
    QVERIFY(qPanel != nullptr);
    QCOMPARE(qPanel->parentWidget(), pWindow->centralWidget());
    QCOMPARE(qPanel->geometry(), QRect(-1, 9, 601, 353));

    auto *qLayout = qobject_cast<QVBoxLayout *>(qPanel->layout());
    QVERIFY(qLayout != nullptr);
    QCOMPARE(qLayout->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(qLayout->contentsMargins(), QMargins(0, 0, 0, 0));
    const QStringList qslOrder{"pushButton_Start", "pushButton_Stop", "checkBox_Stop", "comboBox_Partitions",
                               "label_File", "progressBar_File", "label_Copy", "label_Copy_Value",
                               "label_Total", "progressBar_Total", "pushButton_Licence", "pushButton_Help"};
    QCOMPARE(qLayout->count(), qslOrder.size());
    for (int i = 0; i < qLayout->count(); ++i) {
        QCOMPARE(qLayout->itemAt(i)->widget()->objectName(), qslOrder.at(i));
        QCOMPARE(qLayout->stretch(i), 0);
    }
}

void tst_Form_Main::partitionList()
{
    auto *qCombo = pWindow->findChild<QComboBox *>(QStringLiteral("comboBox_Partitions"));
    QStringList qslItems;
    for (int i = 0; i < qCombo->count(); ++i)
        qslItems << qCombo->itemText(i);
    QCOMPARE(qslItems, (QStringList{QStringLiteral("Выберите раздел для зануления"),
                                    QStringLiteral("/dev/sda1   --   /"),
                                    QStringLiteral("tmpfs   --   /dev/shm"),
                                    QStringLiteral("/dev/sdc1   --   /media/My Disk")}));
    QCOMPARE(qCombo->currentIndex(), 0);
    QVERIFY(qCombo->itemIcon(1).isNull());
    QVERIFY(!qCombo->itemData(1).isValid());
    // The plain df, no arguments.
    QFile qArgs(pFake->qsPath(QStringLiteral("args.txt")));
    QVERIFY(qArgs.open(QIODevice::ReadOnly));
    QCOMPARE(qArgs.readAll(), QByteArray("\n"));
}

void tst_Form_Main::partitionListWithoutDf()
{
    QVERIFY(pFake->bAdd(QStringLiteral("df"), "exit 1"));
    Form_Main qWindow;
    auto *qCombo = qWindow.findChild<QComboBox *>(QStringLiteral("comboBox_Partitions"));
    QCOMPARE(qCombo->count(), 1);
    QCOMPARE(qCombo->currentText(), QStringLiteral("Выберите раздел для зануления"));
}

void tst_Form_Main::centring_data()
{
    QTest::addColumn<QSize>("qDesktop");
    QTest::addColumn<QPoint>("qExpected");
    QTest::newRow("1920x1080") << QSize(1920, 1080) << QPoint(657, 355);
    QTest::newRow("1366x768") << QSize(1366, 768) << QPoint(380, 199);
    QTest::newRow("600 wide") << QSize(600, 369) << QPoint(-2, 0);
    QTest::newRow("tiny") << QSize(0, 0) << QPoint(-302, -185);
}

void tst_Form_Main::centring()
{
    QFETCH(QSize, qDesktop);
    QFETCH(QPoint, qExpected);
    QCOMPARE(qCentred_Geometry(qDesktop, QSize(605, 370)), QRect(qExpected, QSize(605, 370)));

    const QSize qScreen = QGuiApplication::primaryScreen()->virtualGeometry().size();
    QCOMPARE(pWindow->geometry(), qCentred_Geometry(qScreen, QSize(605, 370)));
}

void tst_Form_Main::stopSlot()
{
    auto *qStop = pWindow->findChild<QPushButton *>(QStringLiteral("pushButton_Stop"));
    QList<bool> lstEnabled_Before;
    const QList<QWidget *> lstWidgets = pWindow->findChildren<QWidget *>();
    for (QWidget *qWidget : lstWidgets)
        lstEnabled_Before << qWidget->isEnabled();

    QVERIFY(!g_bCancel);
    QVERIFY(QMetaObject::invokeMethod(pWindow, "on_pushButton_Stop_clicked"));
    QVERIFY(g_bCancel);
    QVERIFY(QMetaObject::invokeMethod(pWindow, "on_pushButton_Stop_clicked"));
    QVERIFY(g_bCancel);
    QVERIFY(!qStop->isEnabled());

    QList<bool> lstEnabled_After;
    for (QWidget *qWidget : lstWidgets)
        lstEnabled_After << qWidget->isEnabled();
    QCOMPARE(lstEnabled_After, lstEnabled_Before);
    QCOMPARE(pWindow->findChild<QLabel *>(QStringLiteral("label_Copy_Value"))->text(), QStringLiteral("-"));

    // Reached by a real click once the run enables the button.
    g_bCancel = false;
    qStop->setEnabled(true);
    QTest::mouseClick(qStop, Qt::LeftButton);
    QVERIFY(g_bCancel);
}

void tst_Form_Main::slotsAndConnections()
{
    const QMetaObject *qMeta = pWindow->metaObject();
    const QStringList qslSlots{"on_pushButton_Start_clicked()", "on_pushButton_Licence_clicked()",
                               "on_pushButton_Help_clicked()", "on_pushButton_Stop_clicked()"};
    QCOMPARE(qMeta->methodCount() - qMeta->methodOffset(), qslSlots.size());
    for (int i = 0; i < qslSlots.size(); ++i) {
        const QMetaMethod qMethod = qMeta->method(qMeta->methodOffset() + i);
        QCOMPARE(QString::fromLatin1(qMethod.methodSignature()), qslSlots.at(i));
        QCOMPARE(qMethod.methodType(), QMetaMethod::Slot);
        QCOMPARE(qMethod.access(), QMetaMethod::Private);
    }
    QCOMPARE(qMeta->propertyCount(), qMeta->propertyOffset());

    // Each button's clicked() is tied to the window (breaking the tie proves it was there).
    for (const QString &qsName : {"pushButton_Start", "pushButton_Stop", "pushButton_Licence", "pushButton_Help"}) {
        auto *qButton = pWindow->findChild<QPushButton *>(qsName);
        QVERIFY(qButton != nullptr);
        QVERIFY(QObject::disconnect(qButton, &QAbstractButton::clicked, pWindow, nullptr));
    }
}

void tst_Form_Main::documentButtons()
{
    QTest::mouseClick(pWindow->findChild<QPushButton *>(QStringLiteral("pushButton_Licence")), Qt::LeftButton);
    QTest::mouseClick(pWindow->findChild<QPushButton *>(QStringLiteral("pushButton_Help")), Qt::LeftButton);
    QFile qArgs(pFake->qsPath(QStringLiteral("xterm-args.txt")));
    QVERIFY(qArgs.open(QIODevice::ReadOnly));
    const QString qsDir = QCoreApplication::applicationDirPath();
    QCOMPARE(QString::fromUtf8(qArgs.readAll()).split(QLatin1Char('\n')),
             (QStringList{"4", "-maximized", "-e", "mcview", qsDir + QStringLiteral("/Лицензионное соглашение.txt"),
                          "4", "-maximized", "-e", "mcview", qsDir + QStringLiteral("/Справка.txt"), ""}));
}

void tst_Form_Main::startRefusals_data()
{
    // The entry chosen (device, mount point: "@" is the temporary folder), the device df names
    // for it, that of the home folder ("" when df knows none), the device df names once a scratch
    // folder exists ("" when it never changes), the answers and the boxes expected.
    QTest::addColumn<QString>("qsDevice");
    QTest::addColumn<QString>("qsMount");
    QTest::addColumn<QString>("qsDf_Device");
    QTest::addColumn<QString>("qsHome_Device");
    QTest::addColumn<QString>("qsDevice_Once_Made");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("lstAnswers");
    QTest::addColumn<QStringList>("qslTexts");
    QTest::addColumn<QString>("qsLast_Informative");
    QTest::addColumn<int>("iLast_Icon");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("lstLast_Buttons");
    QTest::addColumn<bool>("bRun_Started");

    const QString qsConfirm = QStringLiteral("Подтвердите правильность выбора раздела.");
    const QString qsError = QStringLiteral("Ошибка записи.");
    const QString qsError_Text = QStringLiteral("Нет прав на запись на устройстве %1 или не получилось удалить папку %2.");
    const QList<QMessageBox::StandardButton> lstYes_Abort{QMessageBox::Yes, QMessageBox::Abort};
    const QList<QMessageBox::StandardButton> lstAbort{QMessageBox::Abort};
    QTest::newRow("no partition chosen")
        << QString() << QString() << QString() << QString() << QString() << QList<QMessageBox::StandardButton>{}
        << QStringList{QStringLiteral("Нечего занулять.")} << QStringLiteral("Нужно выбрать раздел для зануления.")
        << int(QMessageBox::Warning) << QList<QMessageBox::StandardButton>{QMessageBox::Ok} << false;
    QTest::newRow("answer No")
        << "/dev/sdt1" << "@/mnt" << "/dev/sdt1" << QString() << QString()
        << QList<QMessageBox::StandardButton>{QMessageBox::No} << QStringList{qsConfirm}
        << "/dev/sdt1   --   @/mnt" << int(QMessageBox::Warning)
        << QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No} << false;
    QTest::newRow("unwritable mount point")
        << "/dev/sdt1" << "@/read-only" << "/dev/sdt1" << QString() << QString() << lstYes_Abort
        << QStringList{qsConfirm, qsError} << qsError_Text.arg("/dev/sdt1   --   @/read-only", "@/read-only/Delete_Zero")
        << int(QMessageBox::Critical) << lstAbort << false;
    QTest::newRow("partition unmounted since the list was read")
        << "/dev/sdt1" << "@/mnt" << "/dev/sda1" << QString() << QString() << lstYes_Abort
        << QStringList{qsConfirm, qsError} << qsError_Text.arg("/dev/sdt1   --   @/mnt", "@/mnt/Delete_Zero")
        << int(QMessageBox::Critical) << lstAbort << false;
    QTest::newRow("partition unmounted during the run")
        << "/dev/sdt1" << "@/fresh" << "/dev/sdt1" << QString() << "/dev/sda1" << lstYes_Abort
        << QStringList{qsConfirm, qsError} << qsError_Text.arg("/dev/sdt1   --   @/fresh", "@/fresh/Delete_Zero")
        << int(QMessageBox::Critical) << lstAbort << true;
    QTest::newRow("/ with the home folder on another volume")
        << "/dev/sda1" << "/" << "/dev/sda1" << "/dev/sdb2" << QString() << lstYes_Abort
        << QStringList{qsConfirm, qsError} << qsError_Text.arg("/dev/sda1   --   /", "@/home/Delete_Zero")
        << int(QMessageBox::Critical) << lstAbort << false;
    // Taken: the run starts in the home folder, and stops before its first file only because the
    // volume then seems to vanish, which names the home folder's scratch folder.
    QTest::newRow("/ with the home folder on a subvolume of the same volume")
        << "/dev/sda1" << "/" << "/dev/sda1" << "/dev/sda1" << "/dev/sdx9" << lstYes_Abort
        << QStringList{qsConfirm, qsError} << qsError_Text.arg("/dev/sda1   --   /", "@/home/Delete_Zero")
        << int(QMessageBox::Critical) << lstAbort << true;
}

// Every refusal of the Start button on a temporary folder with a fake df: nothing is created
// outside a run, and a refused run leaves every widget as it was.
void tst_Form_Main::startRefusals()
{
    QFETCH(QString, qsDevice);
    QFETCH(QString, qsMount);
    QFETCH(QString, qsDf_Device);
    QFETCH(QString, qsHome_Device);
    QFETCH(QString, qsDevice_Once_Made);
    QFETCH(QList<QMessageBox::StandardButton>, lstAnswers);
    QFETCH(QStringList, qslTexts);
    QFETCH(QString, qsLast_Informative);
    QFETCH(int, iLast_Icon);
    QFETCH(QList<QMessageBox::StandardButton>, lstLast_Buttons);
    QFETCH(bool, bRun_Started);

    QTemporaryDir qtdBase;
    const QString qsBase = qtdBase.path();
    auto qsAt = [&qsBase](QString qs) { return qs.replace(QLatin1Char('@'), qsBase); };
    qsMount = qsAt(qsMount);
    QVERIFY(QDir().mkpath(qsBase + "/mnt") && QDir().mkpath(qsBase + "/home") && QDir().mkpath(qsBase + "/read-only")
            && QDir().mkpath(qsBase + "/fresh"));
    // A leftover of an earlier run: only a run that starts may remove it.
    QVERIFY(QDir().mkpath(qsBase + "/mnt/Delete_Zero/old"));
    // Root writes anywhere; a plain file where the folder goes stops it too.
    QFile qBlocker(qsBase + "/read-only/Delete_Zero");
    QVERIFY(qBlocker.open(QIODevice::WriteOnly));
    qBlocker.close();
    QVERIFY(QFile::setPermissions(qsBase + "/read-only", QFile::ReadOwner | QFile::ExeOwner));

    // "/" must refuse its own scratch folder so that the home folder is tried.
    const bool bRoot_Entry = qsMount == QStringLiteral("/");
    const bool bRoot_Blocker = bRoot_Entry && QFileInfo(QStringLiteral("/")).isWritable();
    if (bRoot_Blocker) {
        if (QFileInfo::exists(QStringLiteral("/Delete_Zero")))
            QSKIP("/Delete_Zero exists");
        QFile qRoot_Blocker(QStringLiteral("/Delete_Zero"));
        QVERIFY(qRoot_Blocker.open(QIODevice::WriteOnly));
    }
    const QByteArray qbaHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(qsBase + "/home"));

    // df answers for the mount point and the home folder from a table; a volume may change its
    // device once a scratch folder exists, as if unmounted in the middle of the run.
    auto qbaLine = [](const QString &qsDev, const QString &qsPoint) {
        return (qsDev + "  1000000000  1000  999999000  1% " + qsPoint).toUtf8();
    };
    const QString qsScratch = bRoot_Entry ? qsBase + "/home/Delete_Zero" : qsMount + "/Delete_Zero";
    QByteArray qbaTable = qsMount.toUtf8() + '\t' + qbaLine(qsDf_Device, qsDf_Device == qsDevice ? qsMount : "/") + '\t'
        + (qsDevice_Once_Made.isEmpty() ? QByteArray() : qsScratch.toUtf8()) + '\t'
        + qbaLine(qsDevice_Once_Made, "/") + '\n';
    if (!qsHome_Device.isEmpty())
        qbaTable += (qsBase + "/home\t").toUtf8() + qbaLine(qsHome_Device, "/home") + "\t\t\n";
    QFile qTable(pFake->qsPath(QStringLiteral("df-volumes.txt")));
    QVERIFY(qTable.open(QIODevice::WriteOnly));
    qTable.write(qbaTable);
    qTable.close();
    QVERIFY(pFake->bAdd(QStringLiteral("df"),
                        "for p; do :; done\n"
                        "echo 'Filesystem 1B-blocks Used Available Use% Mounted on'\n"
                        "awk -F'\\t' -v p=\"$p\" '$1 == p { if ($3 != \"\" && system(\"test -e \\\"\" $3 \"\\\"\") == 0) "
                        "print $4; else print $2; exit }' \"$(dirname \"$0\")/df-volumes.txt\""));

    auto *pCombo = pWindow->findChild<QComboBox *>(QStringLiteral("comboBox_Partitions"));
    if (!qsDevice.isEmpty()) {
        pCombo->addItem(qsDevice + QStringLiteral("   --   ") + qsMount);
        pCombo->setCurrentIndex(pCombo->count() - 1);
    }
    QList<bool> lstEnabled_Before;
    const QList<QWidget *> lstWidgets = pWindow->findChildren<QWidget *>();
    for (QWidget *qWidget : lstWidgets)
        lstEnabled_Before << qWidget->isEnabled();
    auto *pLabel = pWindow->findChild<QLabel *>(QStringLiteral("label_Copy_Value"));
    QStringList qslScratch_While_Box;
    {
        Box_Answerer qAnswers(lstAnswers);
        qAnswers.fOn_Box = [&]() { qslScratch_While_Box << QString::number(QFileInfo::exists(qsScratch)); };
        QTest::mouseClick(pWindow->findChild<QPushButton *>(QStringLiteral("pushButton_Start")), Qt::LeftButton);
        qputenv("HOME", qbaHome);
        if (bRoot_Blocker)
            QFile::remove(QStringLiteral("/Delete_Zero"));
        QCOMPARE(qAnswers.qslTexts, qslTexts);
        QCOMPARE(qAnswers.qslInformative.last(), qsAt(qsLast_Informative) + "\n" + QString(127, QLatin1Char('_')));
        QCOMPARE(int(qAnswers.lstIcons.last()), iLast_Icon);
        QCOMPARE(qAnswers.lstButtons.last(), lstLast_Buttons);
    }
    QFile::setPermissions(qsBase + "/read-only", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A run's disk was clean again before the last box asked for an answer.
    if (bRun_Started)
        QCOMPARE(qslScratch_While_Box.last(), QStringLiteral("0"));
    QCOMPARE(QFileInfo::exists(qsBase + "/mnt/Delete_Zero/old"), !(bRun_Started && qsMount == qsBase + "/mnt"));
    QVERIFY(!QFileInfo::exists(qsBase + "/home/Delete_Zero"));
    QCOMPARE(pLabel->text(), bRun_Started ? QStringLiteral("ГОТОВО") : QStringLiteral("-"));
    QList<bool> lstEnabled_After;
    for (QWidget *qWidget : lstWidgets)
        lstEnabled_After << qWidget->isEnabled();
    QCOMPARE(lstEnabled_After, lstEnabled_Before);
}

QTEST_MAIN(tst_Form_Main)
#include "tst_form_main.moc"
