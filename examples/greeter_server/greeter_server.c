/* A sample in-process server written in C: one class, "QVSample.Greeter",
   whose objects count the greetings they have made. The module stays in use
   (DllCanUnloadNow answers 1) while any of its objects or factory references
   live, so the class factory cache never unloads code that is still needed. */
#include <stdatomic.h>
#include <stdio.h>

#include <qvcore5/qv_com.h>

#include "greeter.h"

#define SAMPLE_EXPORT __attribute__((visibility("default")))

static const QVGUID kUnknownId = QV_IID_IQVUNKNOWN_INIT;
static const QVGUID kFactoryId = QV_IID_IQVCLASSFACTORY_INIT;
static const QVGUID kGreeterId = QV_IID_IQVGREETER_INIT;
static const QVGUID kGreeterClass = QV_CLSID_GREETER_INIT;

/* Objects and factory references alive: the module is in use while not 0. */
static atomic_int s_inUse;

typedef struct Greeter {
  const IQVGreeterVtbl *lpVtbl;
  atomic_uint refs;
  uint32_t greetings;
} Greeter;

static QVRESULT QV_CALL GreeterQuery(IQVGreeter *self, const QVGUID *iid, void **out) {
  if (!QVComIsEqualGUID(iid, &kUnknownId) && !QVComIsEqualGUID(iid, &kGreeterId)) {
    *out = NULL;
    return QV_RESULT(0x80004002u); /* no such interface */
  }
  self->lpVtbl->AddRef(self);
  *out = self;
  return 0;
}

static uint32_t QV_CALL GreeterAddRef(IQVGreeter *self) { return atomic_fetch_add(&((Greeter *)self)->refs, 1) + 1; }

static uint32_t QV_CALL GreeterRelease(IQVGreeter *self) {
  uint32_t left = atomic_fetch_sub(&((Greeter *)self)->refs, 1) - 1;
  if (left == 0) {
    QVComFree(self); /* allocated by the component allocator */
    atomic_fetch_sub(&s_inUse, 1);
  }
  return left;
}

static uint32_t QV_CALL GreeterGreet(IQVGreeter *self, const char *name, char *buffer, uint32_t capacity) {
  Greeter *greeter = (Greeter *)self;
  greeter->greetings++;
  snprintf(buffer, capacity, "Hello, %s! (greeting %u)", name, (unsigned)greeter->greetings);
  return greeter->greetings;
}

static const IQVGreeterVtbl kGreeterTable = {GreeterQuery, GreeterAddRef, GreeterRelease, GreeterGreet};

/* The factory is one static object; its references count as use. */
static QVRESULT QV_CALL FactoryQuery(IQVClassFactory *self, const QVGUID *iid, void **out) {
  if (!QVComIsEqualGUID(iid, &kUnknownId) && !QVComIsEqualGUID(iid, &kFactoryId)) {
    *out = NULL;
    return QV_RESULT(0x80004002u);
  }
  self->lpVtbl->AddRef(self);
  *out = self;
  return 0;
}

static uint32_t QV_CALL FactoryAddRef(IQVClassFactory *self) {
  (void)self;
  return (uint32_t)atomic_fetch_add(&s_inUse, 1) + 1;
}

static uint32_t QV_CALL FactoryRelease(IQVClassFactory *self) {
  (void)self;
  return (uint32_t)atomic_fetch_sub(&s_inUse, 1) - 1;
}

static QVRESULT QV_CALL FactoryCreate(IQVClassFactory *self, IQVUnknown *outer, const QVGUID *iid, void **out) {
  Greeter *greeter = NULL;
  QVRESULT result;
  (void)self;
  *out = NULL;
  if (outer != NULL) return QV_RESULT(0x80040110u); /* no aggregation */
  if (QVComMalloc(sizeof *greeter, (void **)&greeter) < 0) return QV_RESULT(0x8007000Eu);
  greeter->lpVtbl = &kGreeterTable;
  atomic_init(&greeter->refs, 1);
  greeter->greetings = 0;
  atomic_fetch_add(&s_inUse, 1);
  result = GreeterQuery((IQVGreeter *)greeter, iid, out);
  GreeterRelease((IQVGreeter *)greeter); /* the caller's reference, if any, keeps it */
  return result;
}

static const IQVClassFactoryVtbl kFactoryTable = {FactoryQuery, FactoryAddRef, FactoryRelease, FactoryCreate};
static IQVClassFactory s_factory = {&kFactoryTable};

SAMPLE_EXPORT QVRESULT QV_CALL DllGetClassObject(const QVGUID *classId, const QVGUID *iid, void **out) {
  *out = NULL;
  if (!QVComIsEqualGUID(classId, &kGreeterClass)) return QV_RESULT(0x80040111u); /* class not available */
  return FactoryQuery(&s_factory, iid, out);
}

SAMPLE_EXPORT QVRESULT QV_CALL DllCanUnloadNow(void) { return atomic_load(&s_inUse) == 0 ? 0 : 1; }
