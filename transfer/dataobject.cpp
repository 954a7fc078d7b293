#include "transfer/dataobject.h"

namespace {

// QueryInterface for an object with one interface besides IUnknown.
HRESULT QueryFor(FIUnknown *self, REFIID riid, REFIID own, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, own))
        return E_NOINTERFACE;
    *ppv = self;
    self->AddRef();
    return S_OK;
}

// Fills target with a copy of source, whose data has the clipboard format
// format. Handle media are copied by OleDuplicateData; streams, storages and
// file names are not copied. A release owner is shared (AddRef).
bool Duplicate(STGMEDIUM &target, CLIPFORMAT format, const STGMEDIUM &source)
{
    switch (source.tymed) {
    case TYMED_HGLOBAL:
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
        break;
    default:
        return false;
    }
    // The handle kinds above share one slot of the medium's union.
    HANDLE copy = OleDuplicateData(source.hGlobal, format, 0);
    if (!copy)
        return false;
    target.tymed = source.tymed;
    target.hGlobal = copy;
    target.pUnkForRelease = source.pUnkForRelease;
    if (target.pUnkForRelease)
        target.pUnkForRelease->AddRef();
    return true;
}

}  // namespace

// ---- TDataObject ----

TDataObject::TObject::TObject() : format(), medium()
{
    medium.tymed = TYMED_NULL;
}

TDataObject::TObject::~TObject()
{
    if (medium.tymed != TYMED_NULL)
        ReleaseStgMedium(&medium);
}

HRESULT STDMETHODCALLTYPE TDataObject::QueryInterface(REFIID riid, void **ppv)
{
    return QueryFor(this, riid, IID_IDataObject, ppv);
}

ULONG STDMETHODCALLTYPE TDataObject::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&FRefCount));
}

ULONG STDMETHODCALLTYPE TDataObject::Release()
{
    const LONG n = InterlockedDecrement(&FRefCount);
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
}

const TDataObject::TObject *TDataObject::Find(const FORMATETC &format) const
{
    for (int i = 0; i < FCount; ++i) {
        const TObject &o = FObjects[i];
        if (o.format.cfFormat == format.cfFormat && (o.format.tymed & format.tymed) != 0)
            return &o;
    }
    return nullptr;
}

HRESULT STDMETHODCALLTYPE TDataObject::GetData(FORMATETC *format, STGMEDIUM *medium)
{
    if (!format || !medium)
        return E_INVALIDARG;
    *medium = STGMEDIUM();
    if (!(format->dwAspect & DVASPECT_CONTENT))
        return DV_E_DVASPECT;
    const TObject *o = Find(*format);
    if (!o)
        return DV_E_FORMATETC;
    // A fresh copy per call: the caller releases what it gets.
    return Duplicate(*medium, o->format.cfFormat, o->medium) ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE TDataObject::GetDataHere(FORMATETC *, STGMEDIUM *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TDataObject::QueryGetData(FORMATETC *format)
{
    if (!format)
        return E_INVALIDARG;
    if (!(format->dwAspect & DVASPECT_CONTENT))
        return DV_E_DVASPECT;
    return Find(*format) ? S_OK : DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE TDataObject::GetCanonicalFormatEtc(FORMATETC *, FORMATETC *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TDataObject::SetData(FORMATETC *format, STGMEDIUM *medium, BOOL release)
{
    if (!format || !medium)
        return E_INVALIDARG;
    if (FCount >= FObjects.Capacity())
        return E_OUTOFMEMORY;
    // With release the medium becomes ours, but only on success: on any
    // failure the caller still owns it.
    STGMEDIUM kept = STGMEDIUM();
    if (release)
        kept = *medium;
    else if (!Duplicate(kept, format->cfFormat, *medium))
        return E_OUTOFMEMORY;
    TObject &entry = FObjects[FCount];
    entry.format = *format;
    entry.medium = kept;
    ++FCount;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC **enumerator)
{
    if (!enumerator)
        return E_INVALIDARG;
    *enumerator = nullptr;
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    TEnumFORMATETC *e = new (std::nothrow) TEnumFORMATETC();
    if (!e)
        return E_OUTOFMEMORY;
    if (!e->Allocate(FObjects.Capacity())) {
        e->Release();
        return E_OUTOFMEMORY;
    }
    for (int i = 0; i < FCount; ++i)
        e->Add(&FObjects[i].format);
    *enumerator = AsIEnumFORMATETC(e);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TDataObject::DAdvise(FORMATETC *, DWORD, IAdviseSink *, DWORD *)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE TDataObject::DUnadvise(DWORD)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE TDataObject::EnumDAdvise(IEnumSTATDATA **)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

// ---- TEnumFORMATETC ----

void TEnumFORMATETC::Add(const FORMATETC *format)
{
    if (format && FCount < FData.Capacity())
        FData[FCount++].format = *format;
}

HRESULT STDMETHODCALLTYPE TEnumFORMATETC::QueryInterface(REFIID riid, void **ppv)
{
    return QueryFor(this, riid, IID_IEnumFORMATETC, ppv);
}

ULONG STDMETHODCALLTYPE TEnumFORMATETC::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&FRefCount));
}

ULONG STDMETHODCALLTYPE TEnumFORMATETC::Release()
{
    const LONG n = InterlockedDecrement(&FRefCount);
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
}

HRESULT STDMETHODCALLTYPE TEnumFORMATETC::Next(ULONG count, FORMATETC *items, ULONG *fetched)
{
    if (fetched)
        *fetched = 0;
    if (count == 0 || !items || FIndex >= FCount)
        return S_FALSE;
    if (!fetched && count != 1)
        return S_FALSE;
    ULONG copied = 0;
    while (FIndex < FCount && copied < count)
        items[copied++] = FData[FIndex++].format;  // no target device: a full copy
    if (fetched)
        *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TEnumFORMATETC::Skip(ULONG count)
{
    const ULONG remaining = static_cast<ULONG>(FCount - FIndex);
    if (count <= remaining) {
        FIndex += static_cast<int>(count);
        return S_OK;
    }
    FIndex = FCount;
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE TEnumFORMATETC::Reset()
{
    FIndex = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TEnumFORMATETC::Clone(IEnumFORMATETC **enumerator)
{
    if (!enumerator)
        return E_POINTER;
    *enumerator = nullptr;
    TEnumFORMATETC *e = new (std::nothrow) TEnumFORMATETC();
    if (!e)
        return E_OUTOFMEMORY;
    if (!e->Allocate(FCount)) {
        e->Release();
        return E_OUTOFMEMORY;
    }
    for (int i = 0; i < FCount; ++i)
        e->Add(&FData[i].format);
    e->FIndex = FIndex;
    *enumerator = AsIEnumFORMATETC(e);
    return S_OK;
}

// ---- TDropSource ----

HRESULT STDMETHODCALLTYPE TDropSource::QueryInterface(REFIID riid, void **ppv)
{
    return QueryFor(this, riid, IID_IDropSource, ppv);
}

ULONG STDMETHODCALLTYPE TDropSource::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&FRefCount));
}

ULONG STDMETHODCALLTYPE TDropSource::Release()
{
    const LONG n = InterlockedDecrement(&FRefCount);
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
}

HRESULT STDMETHODCALLTYPE TDropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState)
{
    const bool left = (keyState & MK_LBUTTON) != 0;
    const bool right = (keyState & MK_RBUTTON) != 0;
    if (escapePressed || (left && right))
        return DRAGDROP_S_CANCEL;
    if (!left && !right)
        return DRAGDROP_S_DROP;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TDropSource::GiveFeedback(DWORD)
{
    return DRAGDROP_S_USEDEFAULTCURSORS;
}
