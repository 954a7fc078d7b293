// A report list view with its columns.
#pragma once

#include "framework/control.h"
#include "framework/textutil.h"

class TListColumn : public TComponent {
public:
    std::string Caption;
    int Width = 50;  // LVSCW_AUTOSIZE_USEHEADER (-2): fits header, last one fills
    bool RightAligned = false;
};

class TListView : public TControl {
public:
    void CreateHandle() override;
    void AddColumn(TListColumn &column);

    int Count() const;
    // Appends a row: caption, then one sub-item per further column.
    void AddItem(const std::string &caption, const TStringList &subItems);
    std::string ItemText(int item, int column) const;
    void Clear();
    // Brackets changes that should repaint once.
    void BeginUpdate();
    void EndUpdate();
    int SelectedCount() const;
    bool Selected(int item) const;
    void SetSelected(int item, bool selected);
    int ColumnWidth(int column) const;

    std::vector<TListColumn *> Columns;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    int FUpdates = 0;
    bool FAutoSized = false;
};
