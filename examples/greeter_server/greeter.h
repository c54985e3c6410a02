/* The sample server's own interface, IQVGreeter, and its class. */
#ifndef QV_SAMPLE_GREETER_H
#define QV_SAMPLE_GREETER_H

#include <qvcore5/qv_com.h>

/* {6E0F3A2C-51B4-4C7D-9A88-2F1D5E6B7C01} */
#define QV_IID_IQVGREETER_INIT {0x6E0F3A2Cu, 0x51B4u, 0x4C7Du, {0x9A, 0x88, 0x2F, 0x1D, 0x5E, 0x6B, 0x7C, 0x01}}
/* {6E0F3A2C-51B4-4C7D-9A88-2F1D5E6B7C02}, ProgID "QVSample.Greeter" */
#define QV_CLSID_GREETER_INIT {0x6E0F3A2Cu, 0x51B4u, 0x4C7Du, {0x9A, 0x88, 0x2F, 0x1D, 0x5E, 0x6B, 0x7C, 0x02}}

typedef struct IQVGreeter IQVGreeter;
typedef struct IQVGreeterVtbl {
  QVRESULT (QV_CALL *QueryInterface)(IQVGreeter *self, const QVGUID *iid, void **out);
  uint32_t (QV_CALL *AddRef)(IQVGreeter *self);
  uint32_t (QV_CALL *Release)(IQVGreeter *self);
  /* Writes a greeting for name into buffer; returns how many it has made. */
  uint32_t (QV_CALL *Greet)(IQVGreeter *self, const char *name, char *buffer, uint32_t capacity);
} IQVGreeterVtbl;
struct IQVGreeter {
  const IQVGreeterVtbl *lpVtbl;
};

#endif
