/* A small in-process server for the component tests. Variants by macro:
   TS_NO_ENTRY (no DllGetClassObject), TS_ENTRY_FAILS (it fails),
   TS_NO_UNLOAD (no DllCanUnloadNow). */
#include <stdatomic.h>

#include "qvcore5/qv_com.h"

#if defined(_WIN32)
#define TS_EXPORT __declspec(dllexport)
#else
#define TS_EXPORT __attribute__((visibility("default")))
#endif

static const QVGUID kUnknownId = QV_IID_IQVUNKNOWN_INIT;
static const QVGUID kFactoryId = QV_IID_IQVCLASSFACTORY_INIT;
/* The counter interface {7A1C0E55-0000-4000-8000-0000000000C1}. */
static const QVGUID kCounterId = {0x7A1C0E55u, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xC1}};

static atomic_int s_entryCalls;
static atomic_int s_liveObjects;
static atomic_int s_factoryRefs;
static void (*s_hook)(void);

static int SameId(const QVGUID *a, const QVGUID *b) { return QVComIsEqualGUID(a, b); }

typedef struct Counter {
  const IQVUnknownVtbl *lpVtbl;
  atomic_uint refs;
  uint32_t value;
} Counter;

static QVRESULT QV_CALL CounterQuery(IQVUnknown *self, const QVGUID *iid, void **out) {
  if (!SameId(iid, &kUnknownId) && !SameId(iid, &kCounterId)) {
    *out = 0;
    return QV_RESULT(0x80004002u);
  }
  self->lpVtbl->AddRef(self);
  *out = self;
  return 0;
}
static uint32_t QV_CALL CounterAddRef(IQVUnknown *self) { return atomic_fetch_add(&((Counter *)self)->refs, 1) + 1; }
static uint32_t QV_CALL CounterRelease(IQVUnknown *self) {
  uint32_t left = atomic_fetch_sub(&((Counter *)self)->refs, 1) - 1;
  if (left == 0) {
    QVComFree(self);
    atomic_fetch_sub(&s_liveObjects, 1);
  }
  return left;
}
static const IQVUnknownVtbl kCounterTable = {CounterQuery, CounterAddRef, CounterRelease};

/* The one factory object is static: its count tells the tests who holds it. */
static QVRESULT QV_CALL FactoryQuery(IQVClassFactory *self, const QVGUID *iid, void **out) {
  if (!SameId(iid, &kUnknownId) && !SameId(iid, &kFactoryId)) {
    *out = 0;
    return QV_RESULT(0x80004002u);
  }
  self->lpVtbl->AddRef(self);
  *out = self;
  return 0;
}
static uint32_t QV_CALL FactoryAddRef(IQVClassFactory *self) {
  (void)self;
  return (uint32_t)atomic_fetch_add(&s_factoryRefs, 1) + 1;
}
static uint32_t QV_CALL FactoryRelease(IQVClassFactory *self) {
  (void)self;
  return (uint32_t)atomic_fetch_sub(&s_factoryRefs, 1) - 1;
}
static QVRESULT QV_CALL FactoryCreate(IQVClassFactory *self, IQVUnknown *outer, const QVGUID *iid, void **out) {
  (void)self;
  *out = 0;
  if (outer != 0) return QV_RESULT(0x80040110u);
  Counter *object = 0;
  if (QVComMalloc(sizeof *object, (void **)&object) < 0) return QV_RESULT(0x8007000Eu);
  object->lpVtbl = &kCounterTable;
  atomic_init(&object->refs, 1);
  object->value = 0;
  atomic_fetch_add(&s_liveObjects, 1);
  QVRESULT result = CounterQuery((IQVUnknown *)object, iid, out);
  CounterRelease((IQVUnknown *)object);
  return result;
}
static const IQVClassFactoryVtbl kFactoryTable = {FactoryQuery, FactoryAddRef, FactoryRelease, FactoryCreate};
static IQVClassFactory s_factory __attribute__((unused)) = {&kFactoryTable};

/* Like a C++ server's static objects, the factory is gone once the module's
   destructors have run: a later call through it crashes. */
__attribute__((destructor)) TS_EXPORT void TestServerTearDown(void) { s_factory.lpVtbl = 0; }

#ifndef TS_NO_ENTRY
TS_EXPORT QVRESULT QV_CALL DllGetClassObject(const QVGUID *classId, const QVGUID *iid, void **out) {
  (void)classId;
  atomic_fetch_add(&s_entryCalls, 1);
  if (s_hook != 0) s_hook();
#ifdef TS_ENTRY_FAILS
  (void)iid;
  *out = 0;
  return QV_RESULT(0x80040111u);
#else
  return FactoryQuery(&s_factory, iid, out);
#endif
}
#endif

#ifndef TS_NO_UNLOAD
TS_EXPORT QVRESULT QV_CALL DllCanUnloadNow(void) {
  return atomic_load(&s_liveObjects) == 0 && atomic_load(&s_factoryRefs) == 0 ? 0 : 1;
}
#endif

/* For the tests: what the server has seen. */
TS_EXPORT void TestServerState(int *entryCalls, int *liveObjects, int *factoryRefs) {
  *entryCalls = atomic_load(&s_entryCalls);
  *liveObjects = atomic_load(&s_liveObjects);
  *factoryRefs = atomic_load(&s_factoryRefs);
}
TS_EXPORT void TestServerHook(void (*hook)(void)) { s_hook = hook; }
/* The counter's own operation, past the three base slots. */
TS_EXPORT uint32_t TestCounterIncrement(IQVUnknown *object) { return ++((Counter *)object)->value; }
