// The objects OLE talks to during a clipboard or drag hand-off: the data
// object, its format enumerator and the drop source.
//
// Reference counting, the same for all three: the count is 1 at birth and
// that reference belongs to the creator, who gives it up with Release. Counts
// change with Interlocked* calls; the object deletes itself when its count
// reaches 0, so the destructors are not public.
#pragma once

#include "transfer/comintf.h"
#include "transfer/dynarray.h"

class TDataObject final : public FIDataObject {
public:
    // One stored format with its medium; owns the medium unless its kind is
    // TYMED_NULL.
    struct TObject {
        TObject();
        ~TObject();
        TObject(const TObject &) = delete;
        TObject &operator=(const TObject &) = delete;
        FORMATETC format;
        STGMEDIUM medium;
    };

    TDataObject() = default;
    // Fixes how many formats SetData accepts; call once, before the first SetData.
    bool Allocate(int capacity) { return FObjects.Allocate(capacity); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC *format, STGMEDIUM *medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC *format, STGMEDIUM *medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC *format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC *in, FORMATETC *out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC *format, STGMEDIUM *medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC **enumerator) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC *format, DWORD flags, IAdviseSink *sink,
                                      DWORD *connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA **enumerator) override;

private:
    ~TDataObject() = default;
    // The first used entry that can answer format, or null.
    const TObject *Find(const FORMATETC &format) const;

    LONG FRefCount = 1;
    TDynArray<TObject> FObjects;
    int FCount = 0;
};

class TEnumFORMATETC final : public FIEnumFORMATETC {
public:
    struct TData {
        FORMATETC format = {};
    };

    TEnumFORMATETC() = default;
    // Fixes how many entries Add accepts; call once, before the first Add.
    bool Allocate(int capacity) { return FData.Allocate(capacity); }
    // Appends a copy of format while there is room; null adds nothing.
    void Add(const FORMATETC *format);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC *items, ULONG *fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC **enumerator) override;

private:
    ~TEnumFORMATETC() = default;

    LONG FRefCount = 1;
    TDynArray<TData> FData;
    int FIndex = 0;
    int FCount = 0;
};

class TDropSource final : public FIDropSource {
public:
    TDropSource() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Releasing the button that carries the drag drops; Escape, or both main
    // buttons held, cancels.
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

private:
    ~TDropSource() = default;

    LONG FRefCount = 1;
};
