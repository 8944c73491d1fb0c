#pragma once

#include "system/Clipboard.h"

#include <QObject>

namespace vesk {

// The clipboard through QClipboard (needs a QGuiApplication). Qt reports a change when
// we write and when another application takes the clipboard over.
class QtClipboard : public QObject, public Clipboard {
    Q_OBJECT
public:
    explicit QtClipboard(QObject* parent = nullptr);

    SavedClipboard save() override;
    void restore(const SavedClipboard& saved) override;
    void setText(const std::string& text) override;
    std::optional<std::string> text() override;
    std::uint64_t changeCount() const override { return changeCount_; }

private:
    std::uint64_t changeCount_ = 0;
};

}  // namespace vesk
