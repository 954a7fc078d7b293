// A shown window holding a report list with the result list's four columns
// (180, 50 right-aligned, 150, -2), sorting through Listviewutility; and the
// helpers the list tests share.
#pragma once

#include "framework/form.h"
#include "listview/listviewutility.h"
#include "tests/listview/sortmarks.h"

#include <commctrl.h>

#include <string>
#include <vector>

class TListForm : public TForm {
public:
    TListForm();
    ~TListForm() override { DestroyHandle(); }

    void ColumnClick(TListView &list, int column) { ListViewSortColumn(list, column); }
    void Compare(TListView &list, const TListItem *a, const TListItem *b, int data, int &result)
    {
        ListViewCompareItems(list, a, b, data, result);
    }
    // Rows of "name|ordinal|module|path".
    void AddRows(const std::vector<std::vector<std::string>> &rows)
    {
        for (const auto &r : rows)
            List->AddItem(TStringList(r.begin(), r.end()));
    }
    void Select(const std::vector<int> &items)
    {
        for (int i : items)
            List->SetSelected(i, true);
    }
    std::vector<int> SelectedRows() const
    {
        std::vector<int> rows;
        for (int i = List->NextSelected(-1); i >= 0; i = List->NextSelected(i))
            rows.push_back(i);
        return rows;
    }
    // What the header tells the list when the user has dragged (end-track)
    // or double-clicked a divider.
    void HeaderNotifies(int column, UINT code, int width)
    {
        HDITEMA item = {};
        item.mask = HDI_WIDTH;
        item.cxy = width;
        NMHEADERA n = {};
        n.hdr.hwndFrom = List->Header();
        n.hdr.idFrom = GetDlgCtrlID(n.hdr.hwndFrom);
        n.hdr.code = code;
        n.iItem = column;
        n.iButton = 0;
        n.pitem = &item;
        SendMessageA(List->Handle, WM_NOTIFY, n.hdr.idFrom, reinterpret_cast<LPARAM>(&n));
    }

    TListView *List = nullptr;
    static const TDesign<TListForm> Design[];
};

inline const TDesign<TListForm> TListForm::Design[] = {
    {.Kind = TKind::ListView, .Name = "List", .Field = &TListForm::List, .Align = TAlign::Client,
     .OnColumnClick = &TListForm::ColumnClick, .OnCompare = &TListForm::Compare},
    {.Kind = TKind::ListColumn, .Name = "Name", .Parent = "List", .Width = 180, .Caption = "name"},
    {.Kind = TKind::ListColumn, .Name = "Ordinal", .Parent = "List", .Width = 50, .Caption = "ordinal",
     .RightAligned = true},
    {.Kind = TKind::ListColumn, .Name = "Module", .Parent = "List", .Width = 150, .Caption = "module"},
    {.Kind = TKind::ListColumn, .Name = "Path", .Parent = "List", .Width = -2, .Caption = "path"},
};

inline TListForm::TListForm() : TForm("TListForm")
{
    Application.Initialize();
    Width = 640;
    Height = 300;
    Build(*this, Design);
    ListViewSortInit(*List);
    ShowWindow(Handle, SW_SHOW);
    Application.ProcessMessages();
}
