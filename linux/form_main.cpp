#include "form_main.h"
#include "ui_form_main.h"

#include "functions_main.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

bool g_bCancel = false;

QRect qCentred_Geometry(const QSize &qDesktop, const QSize &qWindow)
{
    return QRect((qDesktop.width() - qWindow.width()) / 2, (qDesktop.height() - qWindow.height()) / 2,
                 qWindow.width(), qWindow.height());
}

Form_Main::Form_Main(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::Form_Main)
{
    // Qt 6 reads every 8-bit text as UTF-8 already, so no codec needs installing here.
    ui->setupUi(this);
    setWindowFlags(Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);

    const QScreen *qScreen = QGuiApplication::primaryScreen();
    if (qScreen != nullptr)
        setGeometry(qCentred_Geometry(qScreen->virtualGeometry().size(), size()));

    vAccess_777(QCoreApplication::applicationDirPath() + QStringLiteral("/"));

    const QStringList qslPartitions = qslProcess_Run(QStringLiteral("df"), true);
    ui->comboBox_Partitions->clear();
    // Index 0 must stay the prompt: the run reads index 0 as "nothing chosen".
    ui->comboBox_Partitions->addItem(QStringLiteral("Выберите раздел для зануления"));
    ui->comboBox_Partitions->addItems(qslPartition_Items(qslPartitions));

    setWindowIcon(QIcon(QCoreApplication::applicationDirPath() + QStringLiteral("/Значок.ico")));
}

Form_Main::~Form_Main()
{
    delete ui;
}

void Form_Main::on_pushButton_Licence_clicked()
{
    vShow_Document(QStringLiteral("Лицензионное соглашение.txt"));
}

void Form_Main::on_pushButton_Help_clicked()
{
    vShow_Document(QStringLiteral("Справка.txt"));
}

void Form_Main::on_pushButton_Stop_clicked()
{
    g_bCancel = true;
}

// Blocks until the viewer is closed; the path goes as one argument so no file name can add options.
void Form_Main::vShow_Document(const QString &qsFile_Name)
{
    const QString qsPath = QCoreApplication::applicationDirPath() + QLatin1Char('/') + qsFile_Name;
    qslProcess_Run(QStringLiteral("xterm"),
                   {QStringLiteral("-maximized"), QStringLiteral("-e"), QStringLiteral("mcview"), qsPath}, true);
}
