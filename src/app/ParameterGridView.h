// StringGrid1 showing the parameter-grid model: the message handling and the status write through it. The
// model takes every change at once; the grid shows the latest state when the window's tick calls Flush, so
// a burst of messages paints once.
#pragma once

#include "app/ParameterGridModel.h"
#include "hl7/MessageView.h"

class QTableWidget;

namespace halcyra {

class TParameterGridView final : public IParameterGrid {
public:
    TParameterGridView(QTableWidget* grid, std::string overflowMarker);

    void Clear() override;
    void ShowPatient(const std::string& patientID, const std::string& firstName, const std::string& lastName) override;
    void ShowValue(const std::string& text) override;
    void Resize(TGridSize size);
    // Shows the model's cells that changed since the last Flush.
    void Flush();

    const TParameterGridModel& Model() const { return model_; }

private:
    void ShowCell(TGridCell cell);
    void ShowAll();

    QTableWidget* grid_;
    TParameterGridModel model_;
    bool changed_ = false;
};

}  // namespace halcyra
