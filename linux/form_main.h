#ifndef FORM_MAIN_H
#define FORM_MAIN_H

#include <QMainWindow>
#include <QRect>
#include <QSize>

namespace Ui {
class Form_Main;
}

// Cancel flag of a run: set by the Stop button, cleared and polled by the run.
extern bool g_bCancel;

// Geometry that centres a window of size qWindow on a desktop of size qDesktop (truncating division).
QRect qCentred_Geometry(const QSize &qDesktop, const QSize &qWindow);

class Form_Main : public QMainWindow
{
    Q_OBJECT

public:
    explicit Form_Main(QWidget *parent = nullptr);
    ~Form_Main() override;

private slots:
    void on_pushButton_Start_clicked();
    void on_pushButton_Licence_clicked();
    void on_pushButton_Help_clicked();
    void on_pushButton_Stop_clicked();

private:
    void vShow_Document(const QString &qsFile_Name);

    Ui::Form_Main *ui;
};

#endif // FORM_MAIN_H
