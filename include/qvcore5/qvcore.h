/* qvcore5: the flat C interface of the core services library.
   One header per family; include this one. */
#ifndef QVCORE5_QVCORE_H
#define QVCORE5_QVCORE_H

#include "qv_base.h"
#include "qv_memory.h"
#include "qv_diag.h"
#include "qv_mutex.h"
#include "qv_semaphore.h"
#include "qv_thread.h"
#include "qv_process.h"
#include "qv_signal.h"
#include "qv_rwlock.h"
#include "qv_module.h"
#include "qv_getopt.h"
#include "qv_locale.h"
#include "qv_path.h"
#include "qv_time.h"
#include "qv_lockstats.h"
#include "qv_string.h"
#include "qv_encoding.h"
#include "qv_file.h"
#include "qv_registry.h"
#include "qv_net.h"
#include "qv_com.h"

#endif
