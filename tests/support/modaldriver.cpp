#include "modaldriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace TestSupport {

namespace {

void rejectWindowOf(QWidget* widget)
{
    if (auto* dialog = qobject_cast<QDialog*>(widget ? widget->window() : nullptr))
        dialog->reject();
    else if (widget)
        widget->window()->close();
}

} // namespace

ModalDriver::ModalDriver(Handler handler, int patienceMs)
    : _handler(std::move(handler))
    , _patienceMs(patienceMs)
{
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer->start(10);
}

ModalDriver::ModalDriver(QMessageBox::StandardButton button)
    : ModalDriver(answer(button))
{ }

ModalDriver::~ModalDriver() = default;

ModalDriver::Handler ModalDriver::answer(QMessageBox::StandardButton button)
{
    return [button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return false;
        if (button == QMessageBox::NoButton) {
            QTest::keyClick(box, Qt::Key_Return);
            return true;
        }
        return press(box, button);
    };
}

ModalDriver::Handler ModalDriver::agree()
{
    return [](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            return press(box, box->button(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
        auto* buttons = modal->findChild<QDialogButtonBox*>();
        QPushButton* ok = buttons ? buttons->button(QDialogButtonBox::Ok) : nullptr;
        return ok && ok->isEnabled() && press(ok);
    };
}

bool ModalDriver::press(QAbstractButton* button)
{
    if (!button || !button->isEnabled()) {
        QTest::qFail(
            button ? qPrintable(QStringLiteral("button \"%1\" is disabled").arg(button->text()))
                   : "the button to press is missing",
            __FILE__, __LINE__);
        rejectWindowOf(button ? button : QApplication::activeModalWidget());
        return true;
    }
    button->click();
    return true;
}

bool ModalDriver::press(QMessageBox* box, QMessageBox::StandardButton button)
{
    QAbstractButton* target = box->button(button);
    if (!target) {
        QTest::qFail(
            qPrintable(QStringLiteral("the box \"%1\" has no such button").arg(box->windowTitle())),
            __FILE__, __LINE__);
        box->reject();
        return true;
    }
    return press(target);
}

QStringList ModalDriver::titles() const
{
    QStringList result;
    for (const Box& box : _boxes)
        result.append(box.title);
    return result;
}

void ModalDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (modal != _current) {
        _current = modal;
        _answered = false;
        _since.start();
        QString name = QString::fromLatin1(modal->metaObject()->className());
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            name += QStringLiteral(": ") + box->windowTitle();
            _boxes.append(Box {box->windowTitle(), box->text(), box->informativeText(), box->icon(),
                               box->standardButtons()});
        }
        _seen.append(name);
    }
    if (_answered)
        return;
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (_handler(modal)) {
        _answered = true;
        if (box && !_boxes.isEmpty())
            _boxes.last().clicked = box->standardButton(box->clickedButton());
        return;
    }
    if (_since.elapsed() > _patienceMs) {
        _answered = true;
        QTest::qFail(
            qPrintable(QStringLiteral("nothing answered the modal \"%1\"").arg(_seen.last())),
            __FILE__, __LINE__);
        rejectWindowOf(modal);
    }
}

} // namespace TestSupport
