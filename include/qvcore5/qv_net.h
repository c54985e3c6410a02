/* Host names, address resolution and the question whether a host name
   denotes this machine. struct addrinfo is the platform resolver's record
   (<netdb.h> on POSIX, <ws2tcpip.h> on Windows); include that header to read it. */
#ifndef QVCORE5_QV_NET_H
#define QVCORE5_QV_NET_H

#include "qv_base.h"

struct addrinfo;

QV_EXTERN_C_BEGIN

/* The host name, terminated, into buffer (capacity bytes). 0; 0x80004005 when
   the name with its terminator does not fit; 0x80070057 for a null buffer. */
QV_API QVRESULT QVGetHostNameA(char *buffer, uint32_t capacity);
/* As QVGetHostNameA, capacity in wide characters. */
QV_API QVRESULT QVGetHostName(QVWCHAR *buffer, uint32_t capacity);

/* The platform resolver on the lower-cased host text; a text containing
   ".ipv6-literal.net" is cut there and its '-' read as ':' and 's' as '%'.
   Returns the resolver's own status (0 success), not a result code. */
QV_API int32_t QVgetaddrinfo(const char *host, const char *service, const struct addrinfo *hints,
                             struct addrinfo **result);
/* Frees a list from QVgetaddrinfo (null is ignored). */
QV_API void QVfreeaddrinfo(struct addrinfo *list);

/* The machine's own addresses (IPv4 before IPv6) and the resolver's answer for
   "localhost", built once; both lists belong to the library for the life of
   the process. 0; 0x80004005 when the socket library cannot start. */
QV_API QVRESULT QVGetMyAddressInformation(struct addrinfo **ownAddresses, struct addrinfo **localhostAddresses);
/* 1 when some address of first equals some address of second (same family,
   address bytes only), else 0. */
QV_API int32_t QVCompareAddressInformation(const struct addrinfo *first, const struct addrinfo *second);

/* 1 when the host text (a name or address literal) denotes this machine,
   else 0. Answers are cached for the life of the process. */
QV_API int32_t QVIsThisMyComputerA(const char *host);
/* The same for wide text; 0 when it has no exact narrow form. */
QV_API int32_t QVIsThisMyComputerW(const QVWCHAR *host);

QV_EXTERN_C_END

#endif
