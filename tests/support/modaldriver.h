#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAbstractButton;

namespace TestSupport {

// Answers the modal dialogs and message boxes a test opens, polling every 10 ms while it lives.
// It fails fast instead of letting a test hang in a dialog's event loop: pressing a missing or
// disabled button fails the test and rejects the dialog, and so does a modal that the handler
// leaves unanswered for longer than the patience.
class ModalDriver : public QObject
{
public:
    // Called with the active modal on every poll until it returns true (answered). Returning
    // false waits, for instance until an OK button becomes enabled.
    using Handler = std::function<bool(QWidget*)>;

    struct Box
    {
        QString title;
        QString text;
        QString informativeText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton clicked = QMessageBox::NoButton;
    };

    explicit ModalDriver(Handler handler, int patienceMs = 10000);
    // Answers every message box with the button (Enter for NoButton); fails on other dialogs.
    explicit ModalDriver(QMessageBox::StandardButton answer);
    ~ModalDriver() override;

    // Message boxes answer Yes (or OK); dialogs press OK once it is enabled.
    static Handler agree();
    static Handler answer(QMessageBox::StandardButton button);

    // Clicks the button when it is enabled; otherwise fails the test and rejects its dialog.
    // Always returns true, so that a handler can return its result.
    static bool press(QAbstractButton* button);
    static bool press(QMessageBox* box, QMessageBox::StandardButton button);

    // Each modal once, in order: the class name, for message boxes "QMessageBox: title".
    QStringList seen() const { return _seen; }
    // Every message box seen, with the button that closed it when it was answered here.
    QList<Box> boxes() const { return _boxes; }
    QStringList titles() const;

private:
    void poll();

    Handler _handler;
    int _patienceMs;
    QPointer<QWidget> _current;
    QElapsedTimer _since;
    bool _answered = false;
    QStringList _seen;
    QList<Box> _boxes;
};

} // namespace TestSupport
