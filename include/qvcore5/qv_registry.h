/* The registry: typed values in keys below a few roots. Key paths are
   backslash-separated names relative to the root (empty or null: the root
   itself); value names are empty or null for a key's default value. Names
   compare case-insensitively and keep the spelling first stored. Sizes are in
   bytes, name lengths in 16-bit units. Results: 0x80070002 missing key or
   value, 0x80004005 a buffer too small (the size needed is stored) and the end
   of an enumeration, 0x80070057 a malformed name or bad data, 0x80070006 an
   unknown root (0x80004005 for QVRegistryOpenKeyEnum and QVRegistryDeleteKey) and
   a null or all-ones enumeration handle, 0x80070005 a store the caller may not write. */
#ifndef QVCORE5_QV_REGISTRY_H
#define QVCORE5_QV_REGISTRY_H

#include "qv_base.h"

/* Roots; the platform's predefined key values 0x80000000 (classes),
   0x80000001 (user) and 0x80000002 (machine) are accepted too. */
#define QV_HKEY_CLASSES    0u
#define QV_HKEY_CONFIG     1u
#define QV_HKEY_USER       2u
#define QV_HKEY_CLASSES_64 3u
#define QV_HKEY_CONFIG_64  4u

/* Value types. */
#define QV_REG_STRING        0u
#define QV_REG_DWORD         1u
#define QV_REG_QWORD         2u
#define QV_REG_BINARY        3u
#define QV_REG_EXPAND_STRING 4u
#define QV_REG_MULTI_STRING  5u

/* Store kinds of QVRegistryMigrate. */
#define QV_REGISTRY_NATIVE 0u
#define QV_REGISTRY_INI    1u

/* Enumeration handle; all bits set means no handle. */
typedef struct QVRegistryEnumObject *QVREGENUM;
#define QV_INVALID_REGENUM ((QVREGENUM)(intptr_t)-1)

QV_EXTERN_C_BEGIN

/* Reads a value: its type (may be null), data (may be null to ask only for the size) and
   size (in: capacity, out: bytes written or needed). Expandable strings come back expanded. */
QV_API QVRESULT QVRegistryGetValue(uint32_t root, const QVWCHAR *keyPath, const QVWCHAR *valueName,
                                   uint32_t *type, void *data, uint32_t *dataSize);
/* Stores a value, creating every missing key of the path. Strings include their terminator;
   a number is 4 bytes; QV_REG_QWORD and unknown types are refused (0x80070057). */
QV_API QVRESULT QVRegistrySetValue(uint32_t root, const QVWCHAR *keyPath, const QVWCHAR *valueName,
                                   uint32_t type, const void *data, uint32_t dataSize);
/* Removes one value. */
QV_API QVRESULT QVRegistryDeleteValue(uint32_t root, const QVWCHAR *keyPath, const QVWCHAR *valueName);
/* Removes a key with everything below it, or nothing; a missing key gives 0x80004005,
   the root itself (empty path) 0x80070057. */
QV_API QVRESULT QVRegistryDeleteKey(uint32_t root, const QVWCHAR *keyPath);
/* Starts enumerating a key's subkeys (in order of their case-folded names); any failure gives 0x80004005. */
QV_API QVRESULT QVRegistryOpenKeyEnum(uint32_t root, const QVWCHAR *keyPath, QVREGENUM *handle);
/* Starts enumerating a key's values (in the order they were first stored). */
QV_API QVRESULT QVRegistryOpenValueEnum(uint32_t root, const QVWCHAR *keyPath, QVREGENUM *handle);
/* The next subkey's name; nameLength is in: capacity with terminator, out: units without it (when too small:
   the capacity needed). Every call moves on by one entry, also a failing one. */
QV_API QVRESULT QVRegistryEnumNextKey(QVREGENUM handle, QVWCHAR *name, uint32_t *nameLength);
/* The next value's name, type, data and size, as QVRegistryEnumNextKey and QVRegistryGetValue (type, data and
   dataSize may be null); expandable strings come back unexpanded. */
QV_API QVRESULT QVRegistryEnumNextValue(QVREGENUM handle, QVWCHAR *name, uint32_t *nameLength, uint32_t *type,
                                        void *data, uint32_t *dataSize);
/* Ends an enumeration (null accepted); returns 0. */
QV_API QVRESULT QVRegistryCloseEnum(QVREGENUM handle);

/* Copies the roots QV_HKEY_CLASSES, QV_HKEY_CONFIG and QV_HKEY_USER (the current user's part) from one
   store to the other: the operating system's (QV_REGISTRY_NATIVE) or the INI file "qvregistry.ini" in the
   current directory (QV_REGISTRY_INI). Into the INI file only string values fit. Out of it, the sections
   carried over in full leave the file, which is deleted once empty. 0 when everything walked was carried;
   else a failure code, what was copied stays. 0x80004007 an unknown kind, 0x80070057 the same kind twice
   (nothing touched). `reserved` is ignored. */
QV_API QVRESULT QVRegistryMigrate(uint32_t sourceKind, uint32_t reserved, uint32_t destinationKind);

QV_EXTERN_C_END

#endif /* QVCORE5_QV_REGISTRY_H */
