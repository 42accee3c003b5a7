#include "fake_commands.h"
#include "functions_main.h"

#include <QtTest>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStorageInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a message box looked like when it came up.
struct Box_Seen
{
    QList<QMessageBox::StandardButton> lstButtons;
    QMessageBox::StandardButton qDefault = QMessageBox::NoButton;
    QMessageBox::Icon qIcon = QMessageBox::NoIcon;
    QString qsText;
    QString qsInformative;
    bool bShown = false;
};

// Waits for the modal box, records it and then runs qAction on it (a click, a key, or nothing).
void vWatch_Box(Box_Seen *pSeen, std::function<void(QMessageBox *)> qAction)
{
    auto *qTimer = new QTimer;
    qTimer->setInterval(20);
    QObject::connect(qTimer, &QTimer::timeout, [qTimer, pSeen, qAction] {
        auto *qBox = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (qBox == nullptr)
            return;
        qTimer->stop();
        qTimer->deleteLater();
        pSeen->bShown = true;
        for (QAbstractButton *qButton : qBox->buttons())
            pSeen->lstButtons << qBox->standardButton(qButton);
        std::sort(pSeen->lstButtons.begin(), pSeen->lstButtons.end());
        if (qBox->defaultButton() != nullptr)
            pSeen->qDefault = qBox->standardButton(qBox->defaultButton());
        pSeen->qIcon = qBox->icon();
        pSeen->qsText = qBox->text();
        pSeen->qsInformative = qBox->informativeText();
        if (qAction)
            qAction(qBox);
    });
    qTimer->start();
}

const QString qsRule = QStringLiteral("\n") + QString(127, QLatin1Char('_'));

bool bProcess_Alive(pid_t iPid)
{
    return ::kill(iPid, 0) == 0 || errno != ESRCH;
}

mode_t uiMode(const QString &qsPath)
{
    struct stat stFile;
    if (::lstat(QFile::encodeName(qsPath).constData(), &stFile) != 0)
        return 0;
    return stFile.st_mode & 07777;
}

bool bWrite(const QString &qsPath, const QByteArray &qbaData = "x", mode_t uiPermissions = 0644)
{
    QDir().mkpath(QFileInfo(qsPath).absolutePath());
    QFile qFile(qsPath);
    if (!qFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    qFile.write(qbaData);
    qFile.close();
    return ::chmod(QFile::encodeName(qsPath).constData(), uiPermissions) == 0;
}

} // namespace

class tst_Functions_Main : public QObject
{
    Q_OBJECT

private slots:
    void buttonCodes();
    void messageBox_data();
    void messageBox();
    void messageBoxIcon_data();
    void messageBoxIcon();
    void messageBoxRuleOnEmptyText();
    void messageBoxTimeOut();
    void messageBoxUniqueButton();

    void processRun();
    void processRunArgumentsStayWhole();
    void processRunOutlivingTheWait();

    void freeSpaceFakeDf_data();
    void freeSpaceFakeDf();
    void freeSpacePathIsOneArgument();
    void freeSpaceRealDf();

    void folderRemove();
    void folderRemoveLinks();
    void folderRemoveMissing();
    void folderRemoveSwappedForLink();
    void folderRemoveLeavesMounts();

    void access();
    void accessAsRoot();
};

void tst_Functions_Main::buttonCodes()
{
    const int iCodes[] = {iMsgBox_OK_Button, iMsgBox_Save_Button, iMsgBox_SaveAll_Button,
                          iMsgBox_Open_Button, iMsgBox_Yes_Button, iMsgBox_YesToAll_Button,
                          iMsgBox_No_Button, iMsgBox_NoToAll_Button, iMsgBox_Abort_Button,
                          iMsgBox_Retry_Button, iMsgBox_Ignore_Button, iMsgBox_Close_Button,
                          iMsgBox_Cancel_Button, iMsgBox_Discard_Button, iMsgBox_Help_Button,
                          iMsgBox_Apply_Button, iMsgBox_Reset_Button, iMsgBox_RestoreDefaults_Button};
    const QMessageBox::StandardButton qButtons[] = {
        QMessageBox::Ok, QMessageBox::Save, QMessageBox::SaveAll, QMessageBox::Open, QMessageBox::Yes,
        QMessageBox::YesToAll, QMessageBox::No, QMessageBox::NoToAll, QMessageBox::Abort,
        QMessageBox::Retry, QMessageBox::Ignore, QMessageBox::Close, QMessageBox::Cancel,
        QMessageBox::Discard, QMessageBox::Help, QMessageBox::Apply, QMessageBox::Reset,
        QMessageBox::RestoreDefaults};
    for (int k = 0; k < 18; ++k) {
        QCOMPARE(iCodes[k], 1 << k);
        QCOMPARE(iCodes[k] * 1024, int(qButtons[k]));
    }
    QCOMPARE(iMsgBox_Unique_Button_Result & ((1 << 18) - 1), 0);
}

void tst_Functions_Main::messageBox_data()
{
    QTest::addColumn<int>("iMode");
    QTest::addColumn<int>("iDefault");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("lstExpected_Buttons");
    QTest::addColumn<QMessageBox::StandardButton>("qExpected_Default");
    QTest::addColumn<int>("iPress");
    QTest::addColumn<int>("iExpected");

    using L = QList<QMessageBox::StandardButton>;
    const L lstYes_No{QMessageBox::Yes, QMessageBox::No};
    // iPress: a button code to click, or 0 to press Enter (the default button).
    QTest::newRow("80 press Yes") << 80 << 64 << lstYes_No << QMessageBox::No << 16 << 16;
    QTest::newRow("80 press No") << 80 << 64 << lstYes_No << QMessageBox::No << 64 << 64;
    QTest::newRow("80 Enter hits default No") << 80 << 64 << lstYes_No << QMessageBox::No << 0 << 64;
    QTest::newRow("80 default Yes, Enter") << 80 << 16 << lstYes_No << QMessageBox::Yes << 0 << 16;
    QTest::newRow("1 OK") << 1 << 0 << L{QMessageBox::Ok} << QMessageBox::NoButton << 1 << 1;
    QTest::newRow("256 Abort") << 256 << 0 << L{QMessageBox::Abort} << QMessageBox::NoButton << 256 << 256;
    QTest::newRow("bits above 17 ignored") << (1 | (1 << 18) | (1 << 20)) << 0 << L{QMessageBox::Ok}
                                           << QMessageBox::NoButton << 1 << 1;
    QTest::newRow("default not a single code") << 80 << 80 << lstYes_No << QMessageBox::NoButton << 64 << 64;
    QTest::newRow("highest code") << (131072 | 4096) << 131072
                                  << L{QMessageBox::Cancel, QMessageBox::RestoreDefaults}
                                  << QMessageBox::RestoreDefaults << 131072 << 131072;
}

void tst_Functions_Main::messageBox()
{
    QFETCH(int, iMode);
    QFETCH(int, iDefault);
    QFETCH(QList<QMessageBox::StandardButton>, lstExpected_Buttons);
    QFETCH(QMessageBox::StandardButton, qExpected_Default);
    QFETCH(int, iPress);
    QFETCH(int, iExpected);

    Box_Seen qSeen;
    vWatch_Box(&qSeen, [iPress](QMessageBox *qBox) {
        if (iPress == 0)
            QTest::keyClick(qBox, Qt::Key_Return);
        else
            qBox->button(static_cast<QMessageBox::StandardButton>(iPress * 1024))->click();
    });
    const int iResult = iMessageBox(QStringLiteral("Заголовок"), QStringLiteral("Текст"), 4, iMode, iDefault, 0, QString());
    QVERIFY(qSeen.bShown);
    QCOMPARE(qSeen.lstButtons, lstExpected_Buttons);
    QCOMPARE(qSeen.qDefault, qExpected_Default);
    QCOMPARE(qSeen.qsText, QStringLiteral("Заголовок"));
    QCOMPARE(qSeen.qsInformative, QStringLiteral("Текст") + qsRule);
    QCOMPARE(iResult, iExpected);
}

void tst_Functions_Main::messageBoxIcon_data()
{
    QTest::addColumn<int>("iIcon");
    QTest::addColumn<QMessageBox::Icon>("qExpected");
    QTest::newRow("0") << 0 << QMessageBox::NoIcon;
    QTest::newRow("1") << 1 << QMessageBox::Information;
    QTest::newRow("2") << 2 << QMessageBox::Warning;
    QTest::newRow("3") << 3 << QMessageBox::Critical;
    QTest::newRow("4") << 4 << QMessageBox::Question;
    QTest::newRow("5") << 5 << QMessageBox::NoIcon;
    QTest::newRow("-1") << -1 << QMessageBox::NoIcon;
}

void tst_Functions_Main::messageBoxIcon()
{
    QFETCH(int, iIcon);
    QFETCH(QMessageBox::Icon, qExpected);
    Box_Seen qSeen;
    vWatch_Box(&qSeen, [](QMessageBox *qBox) { qBox->button(QMessageBox::Ok)->click(); });
    QCOMPARE(iMessageBox(QStringLiteral("t"), QStringLiteral("m"), iIcon, 1, 1, 0, QString()), 1);
    QCOMPARE(qSeen.qIcon, qExpected);
}

void tst_Functions_Main::messageBoxRuleOnEmptyText()
{
    Box_Seen qSeen;
    vWatch_Box(&qSeen, [](QMessageBox *qBox) { qBox->button(QMessageBox::Ok)->click(); });
    iMessageBox(QString(), QString(), 0, 1, 0, 0, QString());
    QCOMPARE(qSeen.qsInformative, qsRule);
    QCOMPARE(qSeen.qsInformative.size(), 128);
}

void tst_Functions_Main::messageBoxTimeOut()
{
    // Nobody answers: the box closes itself after iTime seconds and gives 0, never the default "Yes".
    Box_Seen qSeen;
    vWatch_Box(&qSeen, nullptr);
    QElapsedTimer qClock;
    qClock.start();
    QCOMPARE(iMessageBox(QStringLiteral("t"), QStringLiteral("m"), 4, 80, 16, 1, QString()), 0);
    QVERIFY(qSeen.bShown);
    QVERIFY(qClock.elapsed() >= 900);
    QVERIFY(qClock.elapsed() < 10000);

    // Answered in time, the answer counts.
    Box_Seen qSeen_Answered;
    vWatch_Box(&qSeen_Answered, [](QMessageBox *qBox) { qBox->button(QMessageBox::No)->click(); });
    QCOMPARE(iMessageBox(QStringLiteral("t"), QStringLiteral("m"), 4, 80, 16, 30, QString()), 64);
}

void tst_Functions_Main::messageBoxUniqueButton()
{
    Box_Seen qSeen;
    vWatch_Box(&qSeen, [](QMessageBox *qBox) {
        for (QAbstractButton *qButton : qBox->buttons()) {
            if (qButton->text() == QStringLiteral("Особая"))
                qButton->click();
        }
    });
    QCOMPARE(iMessageBox(QStringLiteral("t"), QStringLiteral("m"), 0, 80, 0, 0, QStringLiteral("Особая")),
             iMsgBox_Unique_Button_Result);
    QCOMPARE(qSeen.lstButtons.count(QMessageBox::NoButton), 1);

    Box_Seen qSeen_Standard;
    vWatch_Box(&qSeen_Standard, [](QMessageBox *qBox) { qBox->button(QMessageBox::Yes)->click(); });
    QCOMPARE(iMessageBox(QStringLiteral("t"), QStringLiteral("m"), 0, 80, 0, 0, QStringLiteral("Особая")), 16);
}

void tst_Functions_Main::processRun()
{
    qputenv("MORVANE_TEST_VALUE", "значение с пробелом");
    QCOMPARE(qslProcess_Run(QStringLiteral("printenv MORVANE_TEST_VALUE"), false),
             (QStringList{QStringLiteral("значение с пробелом"), QString()}));
    QCOMPARE(qslProcess_Run(QStringLiteral("printenv HOME"), false),
             (QStringList{QString::fromLocal8Bit(qgetenv("HOME")), QString()}));
    qunsetenv("MORVANE_TEST_UNSET");
    QCOMPARE(qslProcess_Run(QStringLiteral("printenv MORVANE_TEST_UNSET"), false), QStringList(QString()));
    QCOMPARE(qslProcess_Run(QStringLiteral("no-such-command-morvane"), false), QStringList(QString()));
    QCOMPARE(qslProcess_Run(QString(), false), QStringList(QString()));
    // Double quotes keep an argument whole; carriage returns stay in the lines.
    QCOMPARE(qslProcess_Run(QStringLiteral("printf \"%s|%s\\r\\n\" \"a b\" c"), false),
             (QStringList{QStringLiteral("a b|c\r"), QString()}));
}

void tst_Functions_Main::processRunArgumentsStayWhole()
{
    const QStringList qslArguments{QStringLiteral("-c"), QStringLiteral("printf '[%s]\\n' \"$@\""),
                                   QStringLiteral("sh"), QStringLiteral("-n"),
                                   QStringLiteral("a \"b\" c"), QStringLiteral("x;y $(z)")};
    QCOMPARE(qslProcess_Run(QStringLiteral("sh"), qslArguments, false),
             (QStringList{QStringLiteral("[-n]"), QStringLiteral("[a \"b\" c]"),
                          QStringLiteral("[x;y $(z)]"), QString()}));
}

void tst_Functions_Main::processRunOutlivingTheWait()
{
    // A command that ignores the polite request must still be gone when the call returns.
    QTemporaryDir qtdFolder;
    const QString qsPid_File = qtdFolder.filePath(QStringLiteral("pid"));
    QElapsedTimer qClock;
    qClock.start();
    const QStringList qslOutput = qslProcess_Run(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("trap '' TERM; echo $$ > \"$1\"; echo started; while :; do sleep 1; done"),
         QStringLiteral("sh"), qsPid_File},
        false);
    QVERIFY(qClock.elapsed() >= 4900);
    QVERIFY(qClock.elapsed() < 15000);
    QCOMPARE(qslOutput, (QStringList{QStringLiteral("started"), QString()}));
    QFile qFile(qsPid_File);
    QVERIFY(qFile.open(QIODevice::ReadOnly));
    const pid_t iPid = qFile.readAll().trimmed().toInt();
    QVERIFY(iPid > 0);
    QVERIFY(!bProcess_Alive(iPid));
}

void tst_Functions_Main::freeSpaceFakeDf_data()
{
    QTest::addColumn<QByteArray>("qbaOutput");
    QTest::addColumn<double>("dExpected");
    const QByteArray qbaHeader = "Filesystem        1B-blocks         Used    Available Use% Mounted on\n";
    QTest::newRow("runs of blanks") << qbaHeader + "/dev/sda1     42140401664  12642304000   27334340608  32% /\n" << 27334340608.0;
    QTest::newRow("single blanks") << qbaHeader + "/dev/sda1 100 60 40 60% /media/My Disk\n" << 40.0;
    QTest::newRow("wrapped device") << qbaHeader + "/dev/mapper/a-very-long-name\n     100 60 7 90% /srv\n" << 7.0;
    QTest::newRow("header only") << qbaHeader << 0.0;
    QTest::newRow("nothing") << QByteArray() << 0.0;
    QTest::newRow("three fields") << qbaHeader + "/dev/sda1 100 60\n" << 0.0;
    QTest::newRow("not a number") << qbaHeader + "/dev/sda1 100 60 lots 60% /\n" << 0.0;
    QTest::newRow("above 2^53") << qbaHeader + "big 1 1 18014398509481984 1% /\n" << 18014398509481984.0;
}

void tst_Functions_Main::freeSpaceFakeDf()
{
    QFETCH(QByteArray, qbaOutput);
    QFETCH(double, dExpected);
    Fake_Commands qFake;
    QVERIFY(qFake.bAdd_Df(qbaOutput));
    QCOMPARE(dGet_Partition_FreeSpace(QStringLiteral("/")), dExpected);
}

void tst_Functions_Main::freeSpacePathIsOneArgument()
{
    Fake_Commands qFake;
    QVERIFY(qFake.bAdd_Df("h\n/dev/x 1 1 5 1% /\n"));
    const QString qsPath = QStringLiteral("-h /media/My \"Disk\"");
    QCOMPARE(dGet_Partition_FreeSpace(qsPath), 5.0);
    QFile qArgs(qFake.qsPath(QStringLiteral("args.txt")));
    QVERIFY(qArgs.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(qArgs.readAll()),
             QStringLiteral("--block-size=1\n--\n") + qsPath + QStringLiteral("\n"));
}

void tst_Functions_Main::freeSpaceRealDf()
{
    QTemporaryDir qtdFolder(QDir::tempPath() + QStringLiteral("/morvane с пробелом XXXXXX"));
    const double dFree = dGet_Partition_FreeSpace(qtdFolder.path());
    const double dExpected = double(QStorageInfo(qtdFolder.path()).bytesAvailable());
    QVERIFY2(dFree > 0, "the real df reported no free space");
    QVERIFY2(qAbs(dFree - dExpected) < 64.0 * 1024 * 1024,
             qPrintable(QStringLiteral("df %1, statvfs %2").arg(dFree, 0, 'f', 0).arg(dExpected, 0, 'f', 0)));
}

void tst_Functions_Main::folderRemove()
{
    QTemporaryDir qtdBase;
    const QString qsTree = qtdBase.filePath(QStringLiteral("Delete_Zero"));
    QVERIFY(bWrite(qsTree + QStringLiteral("/0"), QByteArray(4096, '\0'), 0400));
    QVERIFY(bWrite(qsTree + QStringLiteral("/.hidden"), "h", 0000));
    QVERIFY(bWrite(qsTree + QStringLiteral("/a/b/c/deep"), "d"));
    QVERIFY(bWrite(qsTree + QStringLiteral("/a/.hidden folder/x"), "x", 0444));
    QVERIFY(bWrite(qsTree + QStringLiteral("/имя с пробелом/файл"), "f"));

    vFolder_Remove(qsTree);
    QVERIFY(!QFileInfo::exists(qsTree));
    QVERIFY(QFileInfo::exists(qtdBase.path()));
}

void tst_Functions_Main::folderRemoveLinks()
{
    QTemporaryDir qtdBase;
    const QString qsOutside = qtdBase.filePath(QStringLiteral("outside"));
    const QString qsTree = qtdBase.filePath(QStringLiteral("tree"));
    QVERIFY(bWrite(qsOutside + QStringLiteral("/precious"), "keep", 0640));
    QVERIFY(bWrite(qsOutside + QStringLiteral("/sub/precious2"), "keep", 0600));
    QVERIFY(bWrite(qsOutside + QStringLiteral("/single"), "keep", 0604));
    QVERIFY(bWrite(qsTree + QStringLiteral("/file"), "x"));
    QVERIFY(QFile::link(qsOutside, qsTree + QStringLiteral("/link-to-folder")));
    QVERIFY(QFile::link(qsOutside + QStringLiteral("/single"), qsTree + QStringLiteral("/link-to-file")));
    QVERIFY(QFile::link(qsOutside + QStringLiteral("/gone"), qsTree + QStringLiteral("/dangling")));
    QVERIFY(QDir().mkpath(qsTree + QStringLiteral("/nested")));
    QVERIFY(QFile::link(qsOutside, qsTree + QStringLiteral("/nested/.hidden-link")));

    vFolder_Remove(qsTree);
    QVERIFY(!QFileInfo::exists(qsTree));
    QVERIFY(!QFileInfo(qsTree + QStringLiteral("/dangling")).isSymLink());
    QCOMPARE(uiMode(qsOutside + QStringLiteral("/precious")), mode_t(0640));
    QCOMPARE(uiMode(qsOutside + QStringLiteral("/sub/precious2")), mode_t(0600));
    QCOMPARE(uiMode(qsOutside + QStringLiteral("/single")), mode_t(0604));

    // The top path itself a link: the link goes, its target stays.
    const QString qsTop_Link = qtdBase.filePath(QStringLiteral("top-link"));
    QVERIFY(QFile::link(qsOutside, qsTop_Link));
    vFolder_Remove(qsTop_Link);
    QVERIFY(!QFileInfo(qsTop_Link).isSymLink());
    QVERIFY(QFileInfo::exists(qsOutside + QStringLiteral("/precious")));
    QVERIFY(QFileInfo::exists(qsOutside + QStringLiteral("/sub/precious2")));
}

void tst_Functions_Main::folderRemoveMissing()
{
    QTemporaryDir qtdBase;
    vFolder_Remove(qtdBase.filePath(QStringLiteral("missing")));
    vFolder_Remove(QString());
    // A plain file is not a folder: left alone.
    QVERIFY(bWrite(qtdBase.filePath(QStringLiteral("plain")), "x"));
    vFolder_Remove(qtdBase.filePath(QStringLiteral("plain")));
    QVERIFY(QFileInfo::exists(qtdBase.filePath(QStringLiteral("plain"))));
}

void tst_Functions_Main::folderRemoveSwappedForLink()
{
    // While the removal runs, a folder of the tree keeps trading places with a link to an outside
    // folder whose files carry the same names: nothing outside may ever go.
    QTemporaryDir qtdBase;
    const QString qsOutside = qtdBase.filePath(QStringLiteral("outside"));
    const QString qsTree = qtdBase.filePath(QStringLiteral("Delete_Zero"));
    const QString qsLink = qtdBase.filePath(QStringLiteral("link"));
    constexpr int iFiles = 150;
    for (int i = 0; i < iFiles; ++i)
        QVERIFY(bWrite(qsOutside + QStringLiteral("/sub/%1").arg(i), "keep"));
    const QByteArray qbaFolder = QFile::encodeName(qsTree + QStringLiteral("/sub"));
    const QByteArray qbaLink = QFile::encodeName(qsLink);

    for (int iRound = 0; iRound < 40; ++iRound) {
        // The last swap may have left the tree's folder under the link's name.
        if (!QFileInfo(qsLink).isSymLink())
            vFolder_Remove(qsLink);
        QFile::remove(qsLink);
        QVERIFY(QFile::link(qsOutside, qsLink));
        for (int i = 0; i < iFiles; ++i)
            QVERIFY(bWrite(qsTree + QStringLiteral("/sub/sub/%1").arg(i), "x"));
        std::atomic<bool> bStop{false};
        std::atomic<int> iSwaps{0};
        std::thread qSwapper([&]() {
            while (!bStop) {
                if (::renameat2(AT_FDCWD, qbaFolder.constData(), AT_FDCWD, qbaLink.constData(), RENAME_EXCHANGE) == 0)
                    ++iSwaps;
            }
        });
        while (iSwaps < 1 + iRound % 3) {
        }
        vFolder_Remove(qsTree);
        bStop = true;
        qSwapper.join();
        for (int i = 0; i < iFiles; ++i)
            QVERIFY2(QFileInfo::exists(qsOutside + QStringLiteral("/sub/%1").arg(i)),
                     qPrintable(QStringLiteral("round %1 deleted outside file %2").arg(iRound).arg(i)));
        vFolder_Remove(qsTree);
        QVERIFY(!QFileInfo::exists(qsTree));
    }
}

void tst_Functions_Main::folderRemoveLeavesMounts()
{
    if (geteuid() != 0)
        QSKIP("needs root to mount a file system below the tree");
    QTemporaryDir qtdBase;
    const QString qsTree = qtdBase.filePath(QStringLiteral("Delete_Zero"));
    const QString qsMount = qsTree + QStringLiteral("/mounted");
    QVERIFY(bWrite(qsTree + QStringLiteral("/0"), "x"));
    QVERIFY(QDir().mkpath(qsMount));
    if (::mount("tmpfs", QFile::encodeName(qsMount).constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("tmpfs cannot be mounted here");
    const bool bWritten = bWrite(qsMount + QStringLiteral("/on another file system"), "keep");
    vFolder_Remove(qsTree);
    const bool bKept = QFileInfo::exists(qsMount + QStringLiteral("/on another file system"));
    ::umount2(QFile::encodeName(qsMount).constData(), MNT_DETACH);
    QVERIFY(bWritten);
    QVERIFY(bKept);
    QVERIFY(!QFileInfo::exists(qsTree + QStringLiteral("/0")));
    vFolder_Remove(qsTree);
    QVERIFY(!QFileInfo::exists(qsTree));
}

void tst_Functions_Main::access()
{
    QTemporaryDir qtdBase;
    const QString qsRoot = qtdBase.path() + QStringLiteral("/");
    struct Case
    {
        QString qsName;
        mode_t uiBefore;
        mode_t uiAfter;
    };
    // Only the files the program ships open up; the user's own files beside a copy stay private.
    const QList<Case> lstCases{
        {QStringLiteral("Справка.txt"), 0600, 0644},
        {QStringLiteral("morvane_qt"), 0700, 0755},
        {QStringLiteral("morvane-fill"), 0610, 0654},
        {QStringLiteral("morvane_guardian"), 0600, 0600},
        {QStringLiteral("Лицензионное соглашение.txt"), 0400, 0444},
        {QStringLiteral("data.txt"), 0600, 0600},
        {QStringLiteral("sub/dir/Справка.txt"), 0600, 0600},
        {QStringLiteral(".hidden"), 0600, 0600},
        {QStringLiteral(".hidden-folder/inside"), 0600, 0600},
        {QStringLiteral("Скриншоты/shot.png"), 0600, 0600},
        {QStringLiteral("Экспортные данные/export.csv"), 0600, 0600},
        {QStringLiteral("Тесты калибровки Б40, Б16/t.txt"), 0600, 0600},
        {QStringLiteral("beside-Скриншоты"), 0600, 0600},
    };
    for (const Case &qCase : lstCases)
        QVERIFY(bWrite(qsRoot + qCase.qsName, "x", qCase.uiBefore));
    QVERIFY(bWrite(qtdBase.filePath(QStringLiteral("../morvane-outside-target")), "x", 0600));
    const QString qsOutside = QFileInfo(qtdBase.filePath(QStringLiteral("../morvane-outside-target"))).absoluteFilePath();
    QVERIFY(QFile::link(qsOutside, qsRoot + QStringLiteral("Значок.ico")));

    vAccess_777(qsRoot);
    for (const Case &qCase : lstCases) {
        QCOMPARE(uiMode(qsRoot + qCase.qsName), qCase.uiAfter);
        QVERIFY(!(uiMode(qsRoot + qCase.qsName) & S_IWOTH));
    }
    QCOMPARE(uiMode(qsOutside), mode_t(0600));
    QFile::remove(qsOutside);
}

void tst_Functions_Main::accessAsRoot()
{
    if (geteuid() != 0)
        QSKIP("needs root to create a setuid file and a file of another owner");
    QTemporaryDir qtdBase;
    const QString qsSetuid = qtdBase.filePath(QStringLiteral("morvane_qt"));
    const QString qsSetgid = qtdBase.filePath(QStringLiteral("morvane-fill"));
    const QString qsForeign = qtdBase.filePath(QStringLiteral("Справка.txt"));
    QVERIFY(bWrite(qsSetuid, "x", 04700));
    QVERIFY(bWrite(qsSetgid, "x", 02710));
    QVERIFY(bWrite(qsForeign, "x", 0600));
    QCOMPARE(::chown(QFile::encodeName(qsForeign).constData(), 65534, 65534), 0);

    vAccess_777(qtdBase.path() + QStringLiteral("/"));
    QCOMPARE(uiMode(qsSetuid), mode_t(04755));
    QCOMPARE(uiMode(qsSetgid), mode_t(02755));
    QCOMPARE(uiMode(qsForeign), mode_t(0600));
}

QTEST_MAIN(tst_Functions_Main)
#include "tst_functions_main.moc"
