#ifndef RUN_DRIVER_H
#define RUN_DRIVER_H

// Drives the real window: picks a partition entry, answers message boxes, watches a run at the
// moments it pumps events.

#include "df_volume.h"

#include <functional>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>

// Answers every message box that opens with the next of the given buttons (Escape when none is
// left) and keeps the texts the boxes showed.
class Box_Answerer : public QObject
{
public:
    explicit Box_Answerer(QList<QMessageBox::StandardButton> lstAnswers = {})
        : m_lstAnswers(std::move(lstAnswers))
    {
        m_qTimer.setInterval(20);
        connect(&m_qTimer, &QTimer::timeout, this, [this]() { vAnswer(); });
        m_qTimer.start();
    }
    QStringList qslTexts;
    QStringList qslInformative;
    QList<QMessageBox::Icon> lstIcons;
    QList<QList<QMessageBox::StandardButton>> lstButtons;
    // Called as each box appears, before it is answered: what the disk looks like meanwhile.
    std::function<void()> fOn_Box;

private:
    void vAnswer()
    {
        auto *pBox = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (pBox == nullptr || !pBox->isVisible())
            return;
        qslTexts << pBox->text();
        qslInformative << pBox->informativeText();
        lstIcons << pBox->icon();
        QList<QMessageBox::StandardButton> lstShown;
        for (QAbstractButton *pButton : pBox->buttons())
            lstShown << pBox->standardButton(pButton);
        lstButtons << lstShown;
        if (fOn_Box)
            fOn_Box();
        const QMessageBox::StandardButton eAnswer =
            m_lstAnswers.isEmpty() ? QMessageBox::NoButton : m_lstAnswers.takeFirst();
        if (QAbstractButton *pButton = pBox->button(eAnswer))
            pButton->click();
        else
            pBox->reject();
    }
    QList<QMessageBox::StandardButton> m_lstAnswers;
    QTimer m_qTimer;
};

// Makes the entry of qsMount_Point current, adding one with the device df names when the
// partition list does not hold it (a tmpfs has no /dev/ device).
inline void vChoose_Mount_Point(QComboBox *pCombo, const QString &qsMount_Point)
{
    const QString qsSuffix = QStringLiteral("   --   ") + qsMount_Point;
    for (int i = 1; i < pCombo->count(); ++i) {
        if (pCombo->itemText(i).endsWith(qsSuffix)) {
            pCombo->setCurrentIndex(i);
            return;
        }
    }
    pCombo->addItem(dvDf_Volume(qsMount_Point).qsDevice + qsSuffix);
    pCombo->setCurrentIndex(pCombo->count() - 1);
}

#endif // RUN_DRIVER_H
