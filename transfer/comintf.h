// The platform's data-transfer interfaces as our own abstract classes.
//
// Each class declares the methods of the interface it is named after, in the
// platform's slot order and with its calling convention, and nothing else (no
// virtual destructor, which would add slots). An object deriving from one of
// them therefore has the platform interface's vtable layout and is handed to
// OLE through the As... functions below.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <ole2.h>

class FIUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~FIUnknown() = default;
};

class FIDataObject : public FIUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetData(FORMATETC *format, STGMEDIUM *medium) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC *format, STGMEDIUM *medium) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC *format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC *in, FORMATETC *out) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetData(FORMATETC *format, STGMEDIUM *medium, BOOL release) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC **enumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC *format, DWORD flags, IAdviseSink *sink,
                                              DWORD *connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA **enumerator) = 0;

protected:
    ~FIDataObject() = default;
};

class FIEnumFORMATETC : public FIUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC *items, ULONG *fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC **enumerator) = 0;

protected:
    ~FIEnumFORMATETC() = default;
};

class FIDropSource : public FIUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) = 0;
    virtual HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) = 0;

protected:
    ~FIDropSource() = default;
};

// The same object seen through the platform's declaration of its interface.
inline IDataObject *AsIDataObject(FIDataObject *p) { return reinterpret_cast<IDataObject *>(p); }
inline IEnumFORMATETC *AsIEnumFORMATETC(FIEnumFORMATETC *p) { return reinterpret_cast<IEnumFORMATETC *>(p); }
inline IDropSource *AsIDropSource(FIDropSource *p) { return reinterpret_cast<IDropSource *>(p); }
