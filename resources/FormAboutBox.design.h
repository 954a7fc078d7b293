// The design of the about box: every component, in creation order, at the
// positions and sizes of a 306 x 198 client area.
#pragma once

using D = TDesign<TFormAboutBox>;
using K = TKind;
using A = TAlign;
using B = TBevel;
using F = TFormAboutBox;

// The terms of use: free software, free of charge to use and pass on; paid
// use or distribution only with the copyright holder's prior consent; no
// warranty; no support owed.
const char AboutBoxTermsOfUse[] =
    "このソフトウェアはフリーソフトウェアです。\r\n"
    "\r\n"
    "金銭の授受を伴わない限り、どなたでも\r\n"
    "自由に使用し、また他の人に渡すことが\r\n"
    "できます。有償での使用や配布には、\r\n"
    "事前に著作権者の承諾が必要です。\r\n"
    "\r\n"
    "このソフトウェアは無保証で提供されます。\r\n"
    "使用によって生じたいかなる損害について\r\n"
    "も、著作権者は責任を負いません。\r\n"
    "使用は各自の責任において行ってください。\r\n"
    "\r\n"
    "著作権者は、このソフトウェアについて\r\n"
    "質問への回答や不具合の修正などの\r\n"
    "サポートを行う義務を負いません。\r\n";

const COLORREF AboutBoxBlack = RGB(0, 0, 0);

const D FormAboutBoxDesign[] = {
    {.Kind = K::Panel, .Name = "Panel", .Field = &F::Panel, .Left = 4, .Top = 4, .Width = 297, .Height = 157,
     .BevelInner = B::Raised, .BevelOuter = B::Lowered},
    {.Kind = K::Panel, .Name = "PanelIcon", .Field = &F::PanelIcon, .Parent = "Panel", .Left = 8, .Top = 8,
     .Width = 42, .Height = 42, .BevelInner = B::Raised, .BevelOuter = B::Lowered, .BevelWidth = 2,
     .BorderWidth = 1},
    {.Kind = K::Image, .Name = "ProgramIcon", .Field = &F::ProgramIcon, .Parent = "PanelIcon", .Align = A::Client,
     .Center = true, .OnClick = &F::ProgramIconClick},
    {.Kind = K::Label, .Name = "ProductName", .Field = &F::ProductName, .Parent = "Panel", .Left = 56, .Top = 8,
     .Width = 233, .Height = 20, .Caption = "Product Name",
     .Font = {.Name = "Times New Roman", .Height = -19, .Bold = true, .Italic = true, .Color = AboutBoxBlack}},
    {.Kind = K::Label, .Name = "Version", .Field = &F::Version, .Parent = "Panel", .Left = 56, .Top = 25,
     .Width = 233, .Height = 14, .Caption = "Version ",
     .Font = {.Name = "Arial", .Height = -13, .Bold = true, .Color = AboutBoxBlack},
     .Alignment = TAlignment::Center},
    // Sized to its text, growing to the left: its right edge stays at 289.
    {.Kind = K::Label, .Name = "Copyright", .Field = &F::Copyright, .Parent = "Panel", .Left = 198, .Top = 38,
     .Width = 91, .Height = 15, .Caption = "Programmed by ", .Alignment = TAlignment::Right, .AutoSize = true},
    {.Kind = K::Memo, .Name = "Comments", .Field = &F::Comments, .Parent = "Panel", .Left = 8, .Top = 60,
     .Width = 281, .Height = 90, .Caption = AboutBoxTermsOfUse,
     .Font = {.Name = "ＭＳ Ｐゴシック", .Height = -12, .Charset = SHIFTJIS_CHARSET, .Color = AboutBoxBlack},
     .Color = COLOR_BTNFACE, .ReadOnly = true, .VertScrollBar = true, .Border = false, .TabStop = false},
    {.Kind = K::ToolBar, .Name = "ToolBar", .Field = &F::ToolBar, .Left = 68, .Top = 169,
     .Font = {.Name = "Arial", .Height = -12, .Bold = true, .Italic = true}, .AutoSize = true,
     .ShowCaptions = true, .ButtonWidth = 85, .ButtonHeight = 23},
    {.Kind = K::ToolButton, .Name = "ToolButtonOK", .Field = &F::ToolButtonOK, .Parent = "ToolBar",
     .Caption = "OK", .OnClick = &F::ToolButtonOKClick},
    {.Kind = K::ToolButton, .Name = "ToolButtonWebPage", .Field = &F::ToolButtonWebPage, .Parent = "ToolBar",
     .Caption = "  Web page...  ", .OnClick = &F::ToolButtonWebPageClick},
};
