/* Components: GUIDs, the component allocator, the base interface, dynamic
   libraries and class factories found through the registry. */
#ifndef QVCORE5_QV_COM_H
#define QVCORE5_QV_COM_H

#include "qv_base.h"
#include "qv_module.h"

/* 16 bytes: a 32-bit group, two 16-bit groups (least significant byte first)
   and eight bytes. Text form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}. */
typedef struct QVGUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
} QVGUID;

/* Initializers of the two interface identifiers the library itself uses. */
#define QV_IID_IQVUNKNOWN_INIT {0x00000000u, 0x0000u, 0x0000u, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}
#define QV_IID_IQVCLASSFACTORY_INIT {0x00000001u, 0x0000u, 0x0000u, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}

/* Component interfaces: an object's first word points to its table of
   operations, so servers written in C or C++ can implement them. */
typedef struct IQVUnknown IQVUnknown;
typedef struct IQVUnknownVtbl {
  QVRESULT (QV_CALL *QueryInterface)(IQVUnknown *self, const QVGUID *iid, void **out);
  uint32_t (QV_CALL *AddRef)(IQVUnknown *self);
  uint32_t (QV_CALL *Release)(IQVUnknown *self);
} IQVUnknownVtbl;
struct IQVUnknown {
  const IQVUnknownVtbl *lpVtbl;
};

typedef struct IQVClassFactory IQVClassFactory;
typedef struct IQVClassFactoryVtbl {
  QVRESULT (QV_CALL *QueryInterface)(IQVClassFactory *self, const QVGUID *iid, void **out);
  uint32_t (QV_CALL *AddRef)(IQVClassFactory *self);
  uint32_t (QV_CALL *Release)(IQVClassFactory *self);
  QVRESULT (QV_CALL *CreateInstance)(IQVClassFactory *self, IQVUnknown *outer, const QVGUID *iid, void **out);
} IQVClassFactoryVtbl;
struct IQVClassFactory {
  const IQVClassFactoryVtbl *lpVtbl;
};

/* The exports of an in-process server: "DllGetClassObject" hands out the
   class's factory; "DllCanUnloadNow" answers 0 when nothing of the server is
   in use (a server without it is never unloaded). */
typedef QVRESULT (QV_CALL *QVDllGetClassObjectProc)(const QVGUID *classId, const QVGUID *iid, void **out);
typedef QVRESULT (QV_CALL *QVDllCanUnloadNowProc)(void);

QV_EXTERN_C_BEGIN

/* A random version-4 identifier. */
QV_API QVRESULT QVComGenerateGUID(QVGUID *guid);
/* Braced or bare text of 36 hex digits and dashes; units after it are not
   read. 0x80070057 for anything else, the GUID untouched. */
QV_API QVRESULT QVComGUIDFromString(const QVWCHAR *text, QVGUID *guid);
/* Braced upper-case text: 38 units and a terminator with capacity >= 39,
   capacity units without terminator when smaller, nothing for 0, all 39 for
   a negative capacity. Always 0. */
QV_API QVRESULT QVComStringFromGUID(const QVGUID *guid, QVWCHAR *buffer, int32_t capacity);
QV_API int32_t QVComIsEqualGUID(const QVGUID *a, const QVGUID *b);
/* -1, 0 or 1; the last six bytes of the text decide first. */
QV_API int32_t QVComCompareGUID(const QVGUID *a, const QVGUID *b);

/* The component allocator: blocks any module can free. */
QV_API QVRESULT QVComMalloc(size_t size, void **block);
/* Resize to 0 frees and leaves null; a failed resize keeps the old block. */
QV_API QVRESULT QVComRealloc(void **block, size_t size);
QV_API QVRESULT QVComFree(void *block);

/* Forwarders to the object's own slots. */
QV_API QVRESULT IQVUnknown_QueryInterface(IQVUnknown *object, const QVGUID *iid, void **out);
QV_API uint32_t IQVUnknown_AddRef(IQVUnknown *object);
QV_API uint32_t IQVUnknown_Release(IQVUnknown *object);

/* Dynamic libraries. A failed open leaves QV_INVALID_HANDLE; library handles
   are checked, so a closed or made-up one gives 0x80070006. */
QV_API QVRESULT QVLibOpen(const QVWCHAR *name, QVHANDLE *library);
QV_API QVRESULT QVLibGetSymbol(QVHANDLE library, const QVWCHAR *symbol, void **address);
QV_API QVRESULT QVLibClose(QVHANDLE library);

/* Class factories: the server library of a class is the default value of
   CLSID\{class}\InprocServer32 below the classes root, a ProgID's class the
   default value of ProgID\CLSID. */
QV_API QVRESULT QVComGetClassObject(const QVGUID *classId, const QVGUID *iid, void **out);
QV_API QVRESULT QVComCreateObject(const QVGUID *classId, IQVUnknown *outer, const QVGUID *iid, void **out);
QV_API QVRESULT QVComCreateObjectByProgID(const QVWCHAR *progId, IQVUnknown *outer, const QVGUID *iid, void **out);
QV_API QVRESULT QVComClassIDFromProgID(const QVWCHAR *progId, QVGUID *classId);
/* Drops every cached factory; a server is unloaded once it says it may be. */
QV_API QVRESULT QVComFlushFactoryCache(void);

/* The same on behalf of a module: 0x80004006 unless it is initialized. */
QV_API QVRESULT QVModuleLibOpen(QVMODULEID module, const QVWCHAR *name, QVHANDLE *library);
QV_API QVRESULT QVModuleLibClose(QVMODULEID module, QVHANDLE library);
QV_API QVRESULT QVModuleComGetClassObject(QVMODULEID module, const QVGUID *classId, const QVGUID *iid, void **out);
QV_API QVRESULT QVModuleComCreateObject(QVMODULEID module, const QVGUID *classId, IQVUnknown *outer,
                                        const QVGUID *iid, void **out);

QV_EXTERN_C_END

#endif
