/*
 * Quendal: bank-card transactions on a bank POS terminal, for an insurer's business application.
 *
 * One call of card_trans is one whole transaction. It blocks the calling thread until the
 * transaction has ended, which takes from a few seconds up to several minutes: it checks the
 * request, tests the business host, handshakes with the terminal on its COM port, sends the
 * transaction, relays the terminal's bank traffic to the bank host until the terminal's final
 * answer, and reports the result to the business host. A small progress window shows each step.
 *
 * Calls must not overlap: the library serves one transaction at a time per process.
 */
#ifndef QUENDAL_CARD_TRANS_H
#define QUENDAL_CARD_TRANS_H

/* The library's version: QUENDAL_VERSION_MAJOR, _MINOR, _PATCH, _TWEAK, QUENDAL_VERSION_STRING
 * (dotted) and QUENDAL_VERSION (one number, a byte each), the same four numbers as the Windows
 * DLL's version record. The build writes quendal/version.h, which is installed beside this
 * header. */
#include "quendal/version.h"

/* The size of the result buffer that card_trans writes: every one of these bytes, every time. */
#define QUENDAL_RESULT_SIZE 555

/* Windows business applications call the DLL with the __stdcall convention on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define QUENDAL_CALL __stdcall
#else
#define QUENDAL_CALL
#endif

#if defined(_WIN32)
#if defined(QUENDAL_BUILDING)
#define QUENDAL_API __declspec(dllexport)
#elif defined(QUENDAL_STATIC)
#define QUENDAL_API
#else
#define QUENDAL_API __declspec(dllimport)
#endif
#else
#define QUENDAL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * request: the request line, a zero-terminated byte string of 15 fields separated by '|'
 *          (GBK text where it is not ASCII); only read. A null pointer reads as an empty line.
 *    0  operation type: 1 or 4 sale, 2, 3 query of the last transaction, 5, 6 (others: as 1)
 *    1  15-character reference           8  COM port number of the terminal
 *    2  agency company number B0110001   9  bank host IPv4 address
 *    3  amount in hundredths, digits    10  bank host TCP port, 1000..10000
 *    4  6-character stamp               11  bank host receive time-out, 1..300 s
 *    5  6-character value               12  business host IPv4 address
 *    6  64-character business reference 13  business host TCP port, 1000..10000
 *    7  not used                        14  business host receive time-out, 1..300 s
 *
 * result: the caller's buffer of at least QUENDAL_RESULT_SIZE (555) bytes. On return all 555 bytes
 * are written and none of them is a zero byte; there is no terminator. Approved: bytes 0..39 hold
 * the terminal's response text and bytes 40..554 keep what the caller put there (zero bytes become
 * spaces). Failed: the error text (GBK), padded with spaces to 555 bytes. A null pointer returns 1
 * at once.
 *
 * Returns 0 when the transaction was approved and every report it calls for succeeded, 1 otherwise.
 */
QUENDAL_API int QUENDAL_CALL card_trans(const char* request, char* result);

#ifdef __cplusplus
}
#endif

#endif /* QUENDAL_CARD_TRANS_H */
