// The data object, its enumerator and the drop source, called through the
// platform's interfaces as OLE and drop targets call them.
#include "transfer/dataobject.h"
#include "tests/transfer/transfertest.h"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

FORMATETC Format(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL, DWORD aspect = DVASPECT_CONTENT)
{
    return FORMATETC{cf, nullptr, aspect, -1, tymed};
}

STGMEDIUM Medium(HGLOBAL h, IUnknown *owner = nullptr)
{
    STGMEDIUM m = {};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = h;
    m.pUnkForRelease = owner;
    return m;
}

// A release owner that counts the calls it gets.
struct TCountingOwner final : FIUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++AddRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return ++Releases; }
    ULONG AddRefs = 0, Releases = 0;
};

// A data object holding "abc\0" as CF_TEXT and "x;y" as CF_SYLK, with room for one more.
IDataObject *MakeData()
{
    TDataObject *data = new TDataObject();
    EXPECT_TRUE(data->Allocate(3));
    for (auto [cf, text] : {std::pair<CLIPFORMAT, std::string>{CF_TEXT, std::string("abc", 4)}, {CF_SYLK, "x;y"}}) {
        FORMATETC f = Format(cf);
        STGMEDIUM m = Medium(Block(text));
        EXPECT_EQ(S_OK, data->SetData(&f, &m, TRUE));
    }
    return AsIDataObject(data);
}

struct TCountedItem {
    TCountedItem() { ++Alive; }
    ~TCountedItem() { --Alive; }
    static int Alive;
    char filler[16];
};
int TCountedItem::Alive = 0;

}  // namespace

TEST(DynArray, OwnsEveryElementItHolds)
{
    {
        TDynArray<TCountedItem> items;
        ASSERT_TRUE(items.Allocate(3));
        EXPECT_EQ(3, TCountedItem::Alive);
        ASSERT_TRUE(items.Allocate(2));
        EXPECT_EQ(2, TCountedItem::Alive);
        EXPECT_FALSE(items.Allocate(INT_MAX));  // more than the address space
        EXPECT_EQ(0, items.Capacity());
        EXPECT_EQ(0, TCountedItem::Alive);
        EXPECT_FALSE(items.Allocate(-1));
        ASSERT_TRUE(items.Allocate(4));
    }
    EXPECT_EQ(0, TCountedItem::Alive);
}

TEST(ComObjects, QueryInterfaceGivesOneIdentityAndCounts)
{
    IDataObject *data = MakeData();
    IEnumFORMATETC *formats = nullptr;
    ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &formats));
    IUnknown *source = reinterpret_cast<IUnknown *>(AsIDropSource(new TDropSource()));
    const struct {
        IUnknown *object;
        IID own;
    } cases[] = {{data, IID_IDataObject}, {formats, IID_IEnumFORMATETC}, {source, IID_IDropSource}};
    for (const auto &c : cases) {
        for (const IID &iid : {IID_IUnknown, c.own}) {
            void *p = nullptr;
            EXPECT_EQ(S_OK, c.object->QueryInterface(iid, &p));
            EXPECT_EQ(static_cast<void *>(c.object), p);
            EXPECT_EQ(1u, c.object->Release());
        }
        void *p = c.object;
        EXPECT_EQ(E_NOINTERFACE, c.object->QueryInterface(IID_IDropTarget, &p));
        EXPECT_EQ(nullptr, p);
        EXPECT_EQ(E_POINTER, c.object->QueryInterface(IID_IUnknown, nullptr));
        EXPECT_EQ(2u, c.object->AddRef());
        EXPECT_EQ(1u, c.object->Release());
        EXPECT_EQ(0u, c.object->Release());
    }
}

TEST(DataObject, AnswersOnlyStoredFormatsByMediumAndAspect)
{
    IDataObject *data = MakeData();
    DVTARGETDEVICE device = {};
    FORMATETC anyDevice = Format(CF_TEXT);
    anyDevice.ptd = &device;
    anyDevice.lindex = 7;
    const struct {
        FORMATETC format;
        HRESULT expected;
    } cases[] = {
        {Format(CF_TEXT), S_OK},
        {Format(CF_SYLK, TYMED_HGLOBAL | TYMED_ISTREAM), S_OK},
        {Format(CF_TEXT, TYMED_HGLOBAL, DVASPECT_CONTENT | DVASPECT_ICON), S_OK},
        {anyDevice, S_OK},
        {Format(CF_TEXT, TYMED_ISTREAM), DV_E_FORMATETC},
        {Format(CF_HDROP), DV_E_FORMATETC},
        {Format(CF_TEXT, TYMED_HGLOBAL, DVASPECT_ICON), DV_E_DVASPECT},
        {Format(CF_HDROP, TYMED_HGLOBAL, DVASPECT_THUMBNAIL), DV_E_DVASPECT},
    };
    for (const auto &c : cases) {
        FORMATETC f = c.format;
        EXPECT_EQ(c.expected, data->QueryGetData(&f)) << f.cfFormat;
        STGMEDIUM m = {};
        EXPECT_EQ(c.expected, data->GetData(&f, &m)) << f.cfFormat;
        EXPECT_EQ(c.expected == S_OK ? TYMED_HGLOBAL : TYMED_NULL, m.tymed);
        ReleaseStgMedium(&m);
    }
    FORMATETC f = Format(CF_TEXT);
    STGMEDIUM m = {};
    EXPECT_EQ(E_INVALIDARG, data->GetData(nullptr, &m));
    EXPECT_EQ(E_INVALIDARG, data->GetData(&f, nullptr));
    EXPECT_EQ(E_INVALIDARG, data->QueryGetData(nullptr));
    EXPECT_EQ(E_INVALIDARG, data->SetData(&f, nullptr, TRUE));
    EXPECT_EQ(E_NOTIMPL, data->GetDataHere(&f, &m));
    EXPECT_EQ(E_NOTIMPL, data->GetCanonicalFormatEtc(&f, &f));
    DWORD connection = 0;
    IEnumSTATDATA *advises = nullptr;
    EXPECT_EQ(OLE_E_ADVISENOTSUPPORTED, data->DAdvise(&f, 0, nullptr, &connection));
    EXPECT_EQ(OLE_E_ADVISENOTSUPPORTED, data->DUnadvise(connection));
    EXPECT_EQ(OLE_E_ADVISENOTSUPPORTED, data->EnumDAdvise(&advises));
    data->Release();
}

TEST(DataObject, EachGetDataGivesAnIndependentCopy)
{
    IDataObject *data = MakeData();
    FORMATETC f = Format(CF_TEXT);
    STGMEDIUM first = {}, second = {};
    ASSERT_EQ(S_OK, data->GetData(&f, &first));
    ASSERT_EQ(S_OK, data->GetData(&f, &second));
    EXPECT_NE(first.hGlobal, second.hGlobal);
    static_cast<char *>(GlobalLock(first.hGlobal))[0] = 'X';
    GlobalUnlock(first.hGlobal);
    EXPECT_EQ(std::string("abc", 4), Bytes(second.hGlobal));
    ReleaseStgMedium(&first);
    ReleaseStgMedium(&second);
    ASSERT_EQ(S_OK, data->GetData(&f, &first));
    EXPECT_EQ(std::string("abc", 4), Bytes(first.hGlobal));
    ReleaseStgMedium(&first);
    data->Release();
}

TEST(DataObject, OwnsMediaOnlyWhenItKeepsThemAndHandsOutCopiesWithoutAnOwner)
{
    TCountingOwner kept, copied;
    IDataObject *data = MakeData();
    FORMATETC f = Format(CF_HDROP);
    // Taken over: released when the object goes.
    STGMEDIUM m1 = Medium(Block("1"), reinterpret_cast<IUnknown *>(&kept));
    EXPECT_EQ(S_OK, data->SetData(&f, &m1, TRUE));
    // A copy handed out is the receiver's alone: releasing it frees its
    // handle and leaves the stored medium's owner untouched.
    STGMEDIUM out = {};
    ASSERT_EQ(S_OK, data->GetData(&f, &out));
    EXPECT_EQ(nullptr, out.pUnkForRelease);
    EXPECT_EQ("1", Bytes(out.hGlobal));
    ReleaseStgMedium(&out);
    EXPECT_EQ(0u, kept.AddRefs + kept.Releases);
    // Full: the caller still owns the medium.
    STGMEDIUM m2 = Medium(Block("2"), reinterpret_cast<IUnknown *>(&copied));
    EXPECT_EQ(E_OUTOFMEMORY, data->SetData(&f, &m2, FALSE));
    EXPECT_EQ(0u, data->Release());
    EXPECT_EQ(1u, kept.Releases);

    // Copied, not taken over: the copy is the object's own, the caller's
    // medium and its owner stay the caller's.
    TDataObject *second = new TDataObject();
    ASSERT_TRUE(second->Allocate(2));
    STGMEDIUM stream = {};
    stream.tymed = TYMED_ISTREAM;
    EXPECT_EQ(E_OUTOFMEMORY, second->SetData(&f, &stream, FALSE));
    EXPECT_EQ(S_OK, second->SetData(&f, &m2, FALSE));
    second->Release();
    EXPECT_EQ(0u, copied.AddRefs + copied.Releases);
    EXPECT_EQ("2", Bytes(m2.hGlobal));
    GlobalFree(m2.hGlobal);
}

TEST(DataObject, KeepsItsOwnCopyOfATargetDeviceAndHandsOutFreshOnes)
{
    // A device with a name after its header, as printers describe themselves.
    struct {
        DVTARGETDEVICE head;
        char name[8];
    } device = {{sizeof device, 0, 0, 0, 0, {}}, "printer"};
    TDataObject *object = new TDataObject();
    ASSERT_TRUE(object->Allocate(2));
    FORMATETC f = Format(CF_TEXT);
    f.ptd = &device.head;
    STGMEDIUM m = Medium(Block("t"));
    ASSERT_EQ(S_OK, object->SetData(&f, &m, TRUE));
    DVTARGETDEVICE shortDevice = {2, 0, 0, 0, 0, {}};
    f.ptd = &shortDevice;
    STGMEDIUM m2 = Medium(Block("u"));
    EXPECT_EQ(E_INVALIDARG, object->SetData(&f, &m2, TRUE));
    GlobalFree(m2.hGlobal);
    const std::string original(reinterpret_cast<const char *>(&device), sizeof device);
    memset(&device, 0xEE, sizeof device);  // the caller's memory is not kept

    IEnumFORMATETC *e = nullptr;
    ASSERT_EQ(S_OK, object->EnumFormatEtc(DATADIR_GET, &e));
    object->Release();
    FORMATETC got[2] = {};
    for (FORMATETC &g : got) {
        ASSERT_EQ(S_OK, e->Reset());
        ASSERT_EQ(S_OK, e->Next(1, &g, nullptr));
        ASSERT_NE(nullptr, g.ptd);
        EXPECT_EQ(original, std::string(reinterpret_cast<const char *>(g.ptd), g.ptd->tdSize));
    }
    e->Release();
    EXPECT_NE(got[0].ptd, got[1].ptd);  // each its receiver's, freed as the platform frees it
    CoTaskMemFree(got[0].ptd);
    CoTaskMemFree(got[1].ptd);
}

TEST(EnumFORMATETC, NextSkipResetCloneKeepOrderAndPosition)
{
    IDataObject *data = MakeData();
    IEnumFORMATETC *e = reinterpret_cast<IEnumFORMATETC *>(data);  // must be cleared
    EXPECT_EQ(E_NOTIMPL, data->EnumFormatEtc(DATADIR_SET, &e));
    EXPECT_EQ(nullptr, e);
    EXPECT_EQ(E_INVALIDARG, data->EnumFormatEtc(DATADIR_GET, nullptr));
    ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &e));
    data->Release();  // the enumerator holds copies

    FORMATETC got[3] = {};
    ULONG n = 99;
    EXPECT_EQ(S_FALSE, e->Next(0, got, &n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(S_FALSE, e->Next(2, got, nullptr));  // two need a count
    EXPECT_EQ(S_OK, e->Next(1, got, nullptr));
    EXPECT_TRUE(got[0].cfFormat == CF_TEXT && !got[0].ptd && got[0].dwAspect == DVASPECT_CONTENT &&
                got[0].lindex == -1 && got[0].tymed == TYMED_HGLOBAL);

    IEnumFORMATETC *clone = nullptr;
    EXPECT_EQ(E_POINTER, e->Clone(nullptr));
    ASSERT_EQ(S_OK, e->Clone(&clone));
    EXPECT_EQ(S_FALSE, e->Next(3, got, &n));  // one left
    EXPECT_EQ(1u, n);
    EXPECT_EQ(CF_SYLK, got[0].cfFormat);
    EXPECT_EQ(S_FALSE, e->Next(1, got, &n));
    EXPECT_EQ(0u, n);

    EXPECT_EQ(S_OK, clone->Next(1, got, &n));  // the clone kept its own position
    EXPECT_EQ(CF_SYLK, got[0].cfFormat);
    EXPECT_EQ(S_OK, clone->Reset());
    EXPECT_EQ(S_OK, clone->Skip(2));
    EXPECT_EQ(S_FALSE, clone->Skip(1));
    EXPECT_EQ(S_OK, clone->Reset());
    EXPECT_EQ(S_FALSE, clone->Skip(ULONG_MAX));
    EXPECT_EQ(S_FALSE, clone->Next(1, got, &n));
    EXPECT_EQ(S_OK, clone->Reset());
    EXPECT_EQ(S_OK, clone->Next(2, got, &n));
    EXPECT_EQ(2u, n);
    EXPECT_EQ(0u, clone->Release());
    EXPECT_EQ(0u, e->Release());
}

TEST(DropSource, ButtonsAndEscapeSteerTheDrag)
{
    IDropSource *source = AsIDropSource(new TDropSource());
    const struct {
        BOOL escape;
        DWORD keys;
        HRESULT expected;
    } cases[] = {
        {FALSE, MK_LBUTTON, S_OK},
        {FALSE, MK_RBUTTON, S_OK},
        {FALSE, MK_LBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL, S_OK},
        {FALSE, 0, DRAGDROP_S_DROP},
        {FALSE, MK_MBUTTON | MK_SHIFT, DRAGDROP_S_DROP},
        {FALSE, MK_LBUTTON | MK_RBUTTON, DRAGDROP_S_CANCEL},
        {TRUE, MK_LBUTTON, DRAGDROP_S_CANCEL},
        {TRUE, 0, DRAGDROP_S_CANCEL},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, source->QueryContinueDrag(c.escape, c.keys)) << c.escape << " " << c.keys;
    EXPECT_EQ(DRAGDROP_S_USEDEFAULTCURSORS, source->GiveFeedback(DROPEFFECT_COPY));
    EXPECT_EQ(0u, source->Release());
}
