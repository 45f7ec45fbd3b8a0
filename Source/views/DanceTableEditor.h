#pragma once
// The dance table in the preferences: per dance its meter, tempo band and target in bars per minute and
// the tag that marks its songs. Each edit is checked by the table and shown as kept. Main thread only.

#include "Source/tempo/DanceTable.h"

#include <QTableWidget>

#include <functional>

namespace vantle {

class DanceTableEditor final : public QTableWidget {
    Q_OBJECT

public:
    enum Column { DanceColumn, MeterColumn, LowColumn, HighColumn, TargetColumn, TagColumn, ColumnCount };
    using Changed = std::function<void(const DanceTable&)>;

    DanceTableEditor(DanceTable table, Changed changed, QWidget* parent = nullptr);

    const DanceTable& table() const { return table_; }
    // The row of a dance (none has none).
    static int rowOf(Dance dance);

private:
    void showRow(int row);
    void cellEdited(QTableWidgetItem* item);

    DanceTable table_;
    Changed changed_;
};

} // namespace vantle
