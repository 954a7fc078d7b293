// The objects OLE talks to during a clipboard or drag hand-off: the data
// object, its format enumerator and the drop source.
//
// Reference counting, the same for all three and written once in TComObject:
// the count is 1 at birth and that reference belongs to the creator, who
// gives it up with Release. Counts change with Interlocked* calls; the object
// deletes itself when its count reaches 0, so the destructors are not public.
//
// Everything handed out is the receiver's own: a medium from GetData is a
// fresh copy without a release owner, and a format's target device is copied
// into memory from CoTaskMemAlloc, which the receiver frees with CoTaskMemFree.
#pragma once

#include "transfer/comintf.h"
#include "transfer/dynarray.h"

// IUnknown for an object of class TSelf that implements TInterface, whose
// interface id is Iid. TSelf declares TComObject its friend, so that Release
// can delete it through its private destructor.
template <class TSelf, class TInterface, const IID &Iid>
class TComObject : public TInterface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) final
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, Iid))
            return E_NOINTERFACE;
        *ppv = static_cast<TInterface *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() final { return static_cast<ULONG>(InterlockedIncrement(&FRefCount)); }
    ULONG STDMETHODCALLTYPE Release() final
    {
        const LONG n = InterlockedDecrement(&FRefCount);
        if (n == 0)
            delete static_cast<TSelf *>(this);
        return static_cast<ULONG>(n);
    }

protected:
    TComObject() = default;
    ~TComObject() = default;
    TComObject(const TComObject &) = delete;
    TComObject &operator=(const TComObject &) = delete;

private:
    LONG FRefCount = 1;
};

// A format description that owns its target device (CoTaskMemAlloc'ed).
struct TFormat {
    TFormat() = default;
    ~TFormat();
    TFormat(const TFormat &) = delete;
    TFormat &operator=(const TFormat &) = delete;
    // Replaces the held description with a copy of source, its target
    // device included; false when that copy cannot be had (nothing changes).
    bool Assign(const FORMATETC &source);
    FORMATETC format = {};
};

class TDataObject final : public TComObject<TDataObject, FIDataObject, IID_IDataObject> {
public:
    // One stored format with its medium; owns the medium unless its kind is
    // TYMED_NULL.
    struct TObject {
        TObject();
        ~TObject();
        TObject(const TObject &) = delete;
        TObject &operator=(const TObject &) = delete;
        TFormat format;
        STGMEDIUM medium;
    };

    TDataObject() = default;
    // Fixes how many formats SetData accepts; call once, before the first SetData.
    bool Allocate(int capacity) { return FObjects.Allocate(capacity); }

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
    friend TComObject;
    ~TDataObject() = default;
    // The first used entry that can answer format, or null.
    const TObject *Find(const FORMATETC &format) const;

    TDynArray<TObject> FObjects;
    int FCount = 0;
};

class TEnumFORMATETC final : public TComObject<TEnumFORMATETC, FIEnumFORMATETC, IID_IEnumFORMATETC> {
public:
    struct TData {
        TFormat format;
    };

    TEnumFORMATETC() = default;
    // Fixes how many entries Add accepts; call once, before the first Add.
    bool Allocate(int capacity) { return FData.Allocate(capacity); }
    // Appends a copy of format while there is room; null or a full array
    // adds nothing. False only when the copy's memory cannot be had.
    bool Add(const FORMATETC *format);

    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC *items, ULONG *fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC **enumerator) override;

private:
    friend TComObject;
    ~TEnumFORMATETC() = default;

    TDynArray<TData> FData;
    int FIndex = 0;
    int FCount = 0;
};

class TDropSource final : public TComObject<TDropSource, FIDropSource, IID_IDropSource> {
public:
    TDropSource() = default;

    // Releasing the button that carries the drag drops; Escape, or both main
    // buttons held, cancels.
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

private:
    friend TComObject;
    ~TDropSource() = default;
};
