// A small window that receives pastes in the desktop tests. It reports its text on
// standard output whenever it changes and answers commands read from standard input:
//   text | set <text> | select | activate | own <text> | own-image | image-on-copy | clip | quit
// With --terminal it is classed like xterm and behaves like a terminal: Ctrl+Shift+V
// pastes and Ctrl+Shift+C copies, while Ctrl+V and Ctrl+C are keys of their own.
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void say(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString escaped(QString text) {
    return text.replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
        .replace(QStringLiteral("\n"), QStringLiteral("\\n"));
}

QByteArray pngBytes();

class TerminalKeys : public QObject {
public:
    using QObject::QObject;
    bool terminal = false;
    bool imageOnCopy = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* edit = static_cast<QPlainTextEdit*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        // Every key that reaches the window, so a test can tell which keys were taken.
        say("key:" + QKeySequence(key->keyCombination()).toString(QKeySequence::PortableText));
        const auto mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        if (imageOnCopy && (mods & Qt::ControlModifier) && key->key() == Qt::Key_C) {
            auto* data = new QMimeData;
            data->setData("image/png", pngBytes());
            QApplication::clipboard()->setMimeData(data);
            return true;
        }
        if (!terminal) return false;
        if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && key->key() == Qt::Key_V) {
            edit->paste();
            return true;
        }
        if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && key->key() == Qt::Key_C) {
            edit->copy();
            return true;
        }
        if (mods == Qt::ControlModifier && (key->key() == Qt::Key_V || key->key() == Qt::Key_C)) {
            // What a terminal does with a bare control character: pass it to the program.
            edit->insertPlainText(key->key() == Qt::Key_V ? "^V" : "^C");
            return true;
        }
        return false;
    }
};

QByteArray pngBytes() {
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    bool terminal = false;
    QString title = "Paste target";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--terminal") == 0)
            terminal = true;
        else if (std::strcmp(argv[i], "--title") == 0 && i + 1 < argc)
            title = argv[++i];
    }
    if (terminal) {
        // WM_CLASS ("xterm", "XTerm"), as the real terminal sets it.
        ::setenv("RESOURCE_NAME", "xterm", 1);
        QCoreApplication::setApplicationName("XTerm");
    }
    QApplication app(argc, argv);
    QPlainTextEdit edit;
    edit.setWindowTitle(title);
    edit.resize(400, 200);
    TerminalKeys terminalKeys;
    terminalKeys.terminal = terminal;
    edit.installEventFilter(&terminalKeys);
    QObject::connect(&edit, &QPlainTextEdit::textChanged, [&] { say("changed:" + escaped(edit.toPlainText())); });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t length = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (length <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(length));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const QString line = QString::fromStdString(pending.substr(0, end));
            pending.erase(0, end + 1);
            if (line == "text") {
                say("text:" + escaped(edit.toPlainText()));
            } else if (line.startsWith("set ")) {
                edit.setPlainText(line.mid(4));
                say("done");
            } else if (line == "image-on-copy") {
                terminalKeys.imageOnCopy = true;
                say("done");
            } else if (line == "select") {
                edit.selectAll();
                say("done");
            } else if (line == "activate") {
                edit.activateWindow();
                edit.raise();
                say("done");
            } else if (line.startsWith("own ")) {
                QApplication::clipboard()->setText(line.mid(4));
                say("done");
            } else if (line == "own-image") {
                auto* data = new QMimeData;
                data->setData("image/png", pngBytes());
                data->setText("picture caption");
                data->setHtml("<b>picture</b> caption");
                QApplication::clipboard()->setMimeData(data);
                say("done");
            } else if (line == "clip") {
                const QMimeData* data = QApplication::clipboard()->mimeData();
                QStringList parts;
                if (data)
                    for (const QString& type : data->formats())
                        if (type != "TARGETS" && type != "MULTIPLE" && type != "TIMESTAMP" && type != "SAVE_TARGETS")
                            parts << type + "=" + QString::fromLatin1(data->data(type).toBase64());
                parts.sort();
                say("clip:" + parts.join(';'));
            } else if (line == "quit") {
                say("text:" + escaped(edit.toPlainText()));
                app.quit();
            }
        }
    });

    edit.show();
    edit.activateWindow();
    // Ready once the window is on screen; the test makes sure it has focus.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (edit.windowHandle() && edit.windowHandle()->isExposed()) {
            poll.stop();
            say("ready " + QString::number(edit.winId()));
        }
    });
    poll.start(5);
    return app.exec();
}
