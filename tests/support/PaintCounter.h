#pragma once
// Counts the paint events that widgets receive while the counter lives. Main thread.

#include <QApplication>
#include <QEvent>
#include <QObject>

#include <map>
#include <string>

namespace testsupport {

class PaintCounter final : public QObject {
public:
    PaintCounter() { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }

    int paints(const QObject* widget) const {
        auto found = counts_.find(widget);
        return found == counts_.end() ? 0 : found->second;
    }
    // The painted widgets by class and object name, for a failure message.
    std::string painted() const {
        std::string text;
        for (const auto& [name, count] : names_)
            text += name + " ×" + std::to_string(count) + "\n";
        return text;
    }
    int total() const {
        int sum = 0;
        for (const auto& [widget, count] : counts_)
            sum += count;
        return sum;
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++counts_[watched];
            ++names_[std::string(watched->metaObject()->className()) + " " +
                     watched->objectName().toStdString()];
        }
        return false;
    }

private:
    std::map<const QObject*, int> counts_;
    std::map<std::string, int> names_;
};

} // namespace testsupport
