#include "Source/views/VtlViewController.h"

namespace vantle {

VtlViewController::VtlViewController(QWidget* parent) : QWidget(parent) {}

QString VtlViewController::keyEquivalent() const {
    return QStringLiteral("1");
}

} // namespace vantle
