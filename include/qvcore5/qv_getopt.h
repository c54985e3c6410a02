/* Command-line option parser: named options given with one or two dashes.
   The caller-visible state is in the exported variables below; the position
   inside the current element and the run of skipped non-options are kept
   inside the library. One parse at a time per process; setting
   QVGetOptionIndex to 0 or QVGetOptionReset to 1 starts a new one. */
#ifndef QVCORE5_QV_GETOPT_H
#define QVCORE5_QV_GETOPT_H

#include "qv_base.h"

/* Values of QVLongOption.hasArgument. Any other value behaves like
   QV_NO_ARGUMENT, except that an attached "=value" is accepted and dropped. */
#define QV_NO_ARGUMENT       0
#define QV_REQUIRED_ARGUMENT 1

/* One named option; a table ends with a record whose name is null. */
typedef struct QVLongOption {
  const char *name;    /* without dashes */
  int32_t hasArgument;
  int32_t value;       /* returned by QVGetOption when the option is found */
} QVLongOption;

QV_EXTERN_C_BEGIN

/* Index of the next element to look at; write 0 to start a new scan. */
QV_API extern int32_t QVGetOptionIndex;
/* Argument of the option just returned, or null. Points into the vector. */
QV_API extern char *QVGetOptionArgument;
/* After a '?': the offending option's value, or 0 for an unknown or
   ambiguous name. */
QV_API extern int32_t QVGetOptionOption;
/* Non-zero: messages are printed to the standard error stream. */
QV_API extern int32_t QVGetOptionError;
/* Non-zero: the next call starts a new scan at QVGetOptionIndex. */
QV_API extern int32_t QVGetOptionReset;

/* printf formats of the messages; a caller may point them at its own texts
   taking the same arguments. A null text prints an empty line. */
QV_API extern const char *QVGetOptionMsgCharacterRequiresArgument; /* %c */
QV_API extern const char *QVGetOptionMsgIllegal;                   /* %c */
QV_API extern const char *QVGetOptionMsgInvalid;                   /* %c */
QV_API extern const char *QVGetOptionMsgStringRequiresArgument;    /* %s%s: dashes, name */
QV_API extern const char *QVGetOptionMsgAmbiguous;                 /* %s%.*s: dashes, length, text */
QV_API extern const char *QVGetOptionMsgNoArgumentAllowed;         /* %s%.*s: dashes, length, text */
QV_API extern const char *QVGetOptionMsgUnrecognized;              /* %s%s: dashes, text */

/* Returns the value of the next option found in argv (argv[argc] must be
   null), 63 ('?') for an unknown, ambiguous or badly used option, and -1 when
   no option is left; QVGetOptionIndex then names the first non-option.
   Non-options are moved behind the options unless the environment variable
   POSIXLY_CORRECT is set, in which case the first one ends the scan.
   Unambiguous abbreviations are accepted. longIndex, when not null, receives
   the index of the matched record. */
QV_API int32_t QVGetOption(int32_t argc, char **argv, const QVLongOption *longOptions, int32_t *longIndex);

QV_EXTERN_C_END

#endif
