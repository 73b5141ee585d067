// Creating objects by class identifier, the stand-in for COM's class store: an
// in-process table from CLSID to a factory. The DAO engine is in the table from
// the start under each class identifier the system asks for; nothing else is.
#pragma once

#include "platform/oleaut/iunknown.h"

using CLSID = GUID;
using REFCLSID = const CLSID&;

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1, CLSCTX_ALL = 0x17;
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);

// Per-thread COM set-up has nothing to do here; both exist so that callers keep
// their pairing.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// A new object of the class asked for through `iid`: S_OK and one reference in
// `*object`; otherwise a negative HRESULT (REGDB_E_CLASSNOTREG for a class not
// in the table, E_NOINTERFACE, CLASS_E_NOAGGREGATION for an outer object) and
// a null `*object`. The context is not examined: every class is in-process.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

namespace plat::dao {

// The DBEngine classes: DAO 3.5 (shared by two codes of the system's table),
// DAO 3.6 and ACE 12.
inline constexpr CLSID clsid_dbengine_35 = {0x00000100, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
inline constexpr CLSID clsid_dbengine_36 = {0x00000100, 0x0000, 0x0100, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
inline constexpr CLSID clsid_dbengine_120 = {0xCD7791B9, 0x43FD, 0x42C5, {0xAE, 0x42, 0x8D, 0xD2, 0x81, 0x1F, 0x04, 0x19}};

// Makes one object answering `iid` (same contract as CoCreateInstance).
using class_factory = HRESULT (*)(REFIID iid, void** object);

// Adds or replaces the class; removing returns whether it was there. Tests use
// them to stand for a machine without the engine.
void register_class(REFCLSID clsid, class_factory factory);
bool unregister_class(REFCLSID clsid);

} // namespace plat::dao
