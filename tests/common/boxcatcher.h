#ifndef BOXCATCHER_H
#define BOXCATCHER_H

// Closes the modal message boxes that the code under test opens, and records what they showed.
// Tests never wait for a person.

#include <QtCore/qlist.h>
#include <QtCore/qobject.h>
#include <QtCore/qpointer.h>
#include <QtCore/qtimer.h>
#include <QtGui/qcursor.h>
#include <QtWidgets/qabstractbutton.h>
#include <QtWidgets/qapplication.h>
#include <QtWidgets/qmessagebox.h>
#include <QtWidgets/qpushbutton.h>

#include <functional>

struct CaughtBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool hasParent = false;
    QWidget *parent = nullptr;
    bool overrideCursor = false;
    Qt::CursorShape cursorShape = Qt::ArrowCursor;
};

class BoxCatcher : public QObject
{
public:
    // answer: the button to press; NoButton presses the box's first button.
    explicit BoxCatcher(QMessageBox::StandardButton answer = QMessageBox::NoButton)
        : m_answer(answer)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    QList<CaughtBox> boxes;
    std::function<void(QMessageBox *)> onBox; // runs while the box is open

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == m_lastBox.data())
            return;
        m_lastBox = box;
        CaughtBox caught;
        caught.title = box->windowTitle();
        caught.text = box->text();
        caught.icon = box->icon();
        caught.buttons = box->standardButtons();
        if (box->defaultButton())
            caught.defaultButton = box->standardButton(box->defaultButton());
        caught.parent = box->parentWidget();
        caught.hasParent = caught.parent != nullptr;
        if (const QCursor *cursor = QApplication::overrideCursor()) {
            caught.overrideCursor = true;
            caught.cursorShape = cursor->shape();
        }
        boxes.append(caught);
        if (onBox)
            onBox(box);
        QAbstractButton *button = m_answer != QMessageBox::NoButton ? box->button(m_answer)
                                                                     : box->buttons().value(0);
        if (button)
            button->click();
        else
            box->done(0);
    }

    QTimer m_timer;
    QMessageBox::StandardButton m_answer;
    QPointer<QMessageBox> m_lastBox; // a later box may reuse the address of a destroyed one
};

#endif // BOXCATCHER_H
