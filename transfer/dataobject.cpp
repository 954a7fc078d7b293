#include "transfer/dataobject.h"

#include <cstddef>
#include <cstring>

namespace {

// A copy of a target device in memory of its own from CoTaskMemAlloc, as
// the platform frees it. ok is false when a device was given but cannot be
// copied (too short to be one, or no memory).
DVTARGETDEVICE *CopyTargetDevice(const DVTARGETDEVICE *device, bool &ok)
{
    ok = true;
    if (!device)
        return nullptr;
    ok = false;
    if (device->tdSize < offsetof(DVTARGETDEVICE, tdData))
        return nullptr;
    auto *copy = static_cast<DVTARGETDEVICE *>(CoTaskMemAlloc(device->tdSize));
    if (!copy)
        return nullptr;
    memcpy(copy, device, device->tdSize);
    ok = true;
    return copy;
}

// Fills target with a copy of source, whose data has the clipboard format
// format. Handle media are copied by OleDuplicateData; streams, storages and
// file names are not copied. The copy owns its memory: it has no release
// owner, so releasing it frees the handle and leaves the source alone.
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
    target.pUnkForRelease = nullptr;
    return true;
}

}  // namespace

// ---- TFormat ----

TFormat::~TFormat()
{
    CoTaskMemFree(format.ptd);
}

bool TFormat::Assign(const FORMATETC &source)
{
    bool ok = false;
    DVTARGETDEVICE *device = CopyTargetDevice(source.ptd, ok);
    if (!ok)
        return false;
    CoTaskMemFree(format.ptd);
    format = source;
    format.ptd = device;
    return true;
}

// ---- TDataObject ----

TDataObject::TObject::TObject() : medium()
{
    medium.tymed = TYMED_NULL;
}

TDataObject::TObject::~TObject()
{
    if (medium.tymed != TYMED_NULL)
        ReleaseStgMedium(&medium);
}

const TDataObject::TObject *TDataObject::Find(const FORMATETC &format) const
{
    for (int i = 0; i < FCount; ++i) {
        const FORMATETC &stored = FObjects[i].format.format;
        if (stored.cfFormat == format.cfFormat && (stored.tymed & format.tymed) != 0)
            return &FObjects[i];
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
    return Duplicate(*medium, o->format.format.cfFormat, o->medium) ? S_OK : E_OUTOFMEMORY;
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
    if (format->ptd && format->ptd->tdSize < offsetof(DVTARGETDEVICE, tdData))
        return E_INVALIDARG;
    if (FCount >= FObjects.Capacity())
        return E_OUTOFMEMORY;
    // With release the medium becomes ours, but only on success: on any
    // failure the caller still owns it.
    TObject &entry = FObjects[FCount];
    if (!entry.format.Assign(*format))
        return E_OUTOFMEMORY;
    STGMEDIUM kept = STGMEDIUM();
    if (release)
        kept = *medium;
    else if (!Duplicate(kept, format->cfFormat, *medium))
        return E_OUTOFMEMORY;
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
    for (int i = 0; i < FCount; ++i) {
        if (!e->Add(&FObjects[i].format.format)) {
            e->Release();
            return E_OUTOFMEMORY;
        }
    }
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

bool TEnumFORMATETC::Add(const FORMATETC *format)
{
    if (!format || FCount >= FData.Capacity())
        return true;
    if (!FData[FCount].format.Assign(*format))
        return false;
    ++FCount;
    return true;
}

HRESULT STDMETHODCALLTYPE TEnumFORMATETC::Next(ULONG count, FORMATETC *items, ULONG *fetched)
{
    if (fetched)
        *fetched = 0;
    if (count == 0 || !items || FIndex >= FCount)
        return S_FALSE;
    if (!fetched && count != 1)
        return S_FALSE;
    // Each item handed out carries a target device of its own, which the
    // caller frees.
    ULONG copied = 0;
    for (; FIndex < FCount && copied < count; ++FIndex, ++copied) {
        const FORMATETC &stored = FData[FIndex].format.format;
        bool ok = false;
        DVTARGETDEVICE *device = CopyTargetDevice(stored.ptd, ok);
        if (!ok) {
            // Nothing is handed out: the copies made so far are taken back.
            FIndex -= static_cast<int>(copied);
            while (copied > 0)
                CoTaskMemFree(items[--copied].ptd);
            return E_OUTOFMEMORY;
        }
        items[copied] = stored;
        items[copied].ptd = device;
    }
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
    for (int i = 0; i < FCount; ++i) {
        if (!e->Add(&FData[i].format.format)) {
            e->Release();
            return E_OUTOFMEMORY;
        }
    }
    e->FIndex = FIndex;
    *enumerator = AsIEnumFORMATETC(e);
    return S_OK;
}

// ---- TDropSource ----

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
