/* Child processes started for the caller and tracked by the library until
   they are reaped (their exit code read) or detached. A child is named by the
   process handle QVProcessCreate hands out; the call that ends the library's
   interest in the child closes that handle. */
#ifndef QVCORE5_QV_PROCESS_H
#define QVCORE5_QV_PROCESS_H

#include "qv_base.h"

/* The child's standard streams. On input each entry is a file handle for the
   child to use as that stream, or 0xFFFFFFFF (all ones) to ask for a pipe.
   After a successful start an entry that asked for a pipe holds the caller's
   end: the write end for input, the read end for output and error; the caller
   closes it with QVFileClose. */
typedef struct QVPROCESSSTREAMS {
  QVHANDLE input;
  QVHANDLE output;
  QVHANDLE error;
} QVPROCESSSTREAMS;

QV_EXTERN_C_BEGIN

/* Starts `program` (run as named; a relative name is taken from the caller's
   current directory; never searched for). `arguments` (may be NULL) is split
   into the child's arguments with the Windows rules for quotes and
   backslashes. `directory` NULL = the caller's; `environment` (NULL-ended
   list of "NAME=value", NULL = the caller's environment) is passed sorted;
   an entry without '=' gives 0x80070057. `options` is ignored. `streams`
   NULL = the child shares the caller's streams. *process is all ones first
   and the child's handle on success. The child sees only its three streams of
   the library's descriptors. A program not found: 0x80070002, not
   executable: 0x80070005; a missing directory: 0x80004005; a null stream
   entry: 0x80070006. On any failure
   every pipe end made is closed and the stream entries that asked for a pipe
   stay all ones. */
QV_API QVRESULT QVProcessCreate(const QVWCHAR *program, const QVWCHAR *arguments, const QVWCHAR *directory,
                                const QVWCHAR *const *environment, uint32_t options, QVPROCESSSTREAMS *streams,
                                QVHANDLE *process);
/* Waits for the child to end, stores its exit code (may be NULL) and closes
   the handle. A child ended by a signal reports 128 + the signal's number.
   0x80070006 for a handle that is not a tracked child's (closed, all ones,
   the value of QVProcessGetHandle). */
QV_API QVRESULT QVProcessJoin(QVHANDLE process, uint32_t *exitCode);
/* Waits for any tracked child, also one started while it waits, and reaps
   it: *process gets its (now closed) handle. Other threads may start, reap
   and detach children meanwhile. 0x80004005 when no child is tracked. */
QV_API QVRESULT QVProcessJoinChild(QVHANDLE *process, uint32_t *exitCode);
/* The exit code of an ended child, which is then reaped (handle closed);
   0x80004005 while it still runs (it stays tracked); 0x80070006 as above. */
QV_API QVRESULT QVProcessGetExitCode(QVHANDLE process, uint32_t *exitCode);
/* Stops tracking the child and closes its handle; the child runs on and
   leaves nothing behind when it ends. 0x80070006 as above. */
QV_API QVRESULT QVProcessDetach(QVHANDLE process);
/* The calling process's identifier. */
QV_API uint32_t QVProcessGetID(void);
/* The constant value that denotes the calling process (all ones, as on
   Windows); no process function accepts it. */
QV_API QVHANDLE QVProcessGetHandle(void);
/* Does nothing and writes nothing; returns 0. */
QV_API QVRESULT QVProcessGetName(QVWCHAR *name);

QV_EXTERN_C_END

#endif
