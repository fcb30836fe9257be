#pragma once
/*
 * vosk.h - C interface of the discovery library.
 *
 * The library finds network video devices on the local links and carries
 * every operation sent to one of them. It runs its own thread (started by
 * VOSK_Start_V30) which reports device events through a callback; the
 * operations are synchronous and may be called from any thread but the
 * callback's.
 *
 * Conventions
 * - Every function returns an int. 1 (or more) means success; 0 means
 *   failure, and VOSK_GetLastError() then tells why. The only exception is
 *   VOSK_SetDeviceFilterRule, where any non-zero value is success.
 * - Serial numbers, MAC addresses and security codes are zero-terminated
 *   Latin-1 byte strings; passwords are zero-terminated 8-bit strings.
 * - All records are little-endian with the fixed layouts below; text fields
 *   are zero-terminated inside their span (the one exception is
 *   VOSK_RESET_PASSWD_PARAM, whose texts are ended by the zero fill).
 *
 * Environment
 * - VOSK_INTERFACES: comma-separated interface names to use (e.g. "lo" or
 *   "eth0,eth1"); unset means every up interface that is multicast capable
 *   (or loopback) with an IPv4 address, and, over IPv6 link-local, every
 *   up multicast-capable one with a link-local address.
 * - VOSK_GROUP, VOSK_GROUP6, VOSK_PORT: the IPv4 and IPv6 link-local
 *   multicast groups and the UDP port, for tests.
 * - VOSK_LOG_DIR: where VOSK_SetLogToFile writes, instead of the per-user
 *   default.
 * - VOSK_INQUIRY_INTERVAL_MS: the automatic inquiry interval (default
 *   30000, at least 200), for tests.
 *
 * The wire protocol is described in docs/protocol.md.
 */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes returned by VOSK_GetLastError(). */
enum {
    VOSK_OK = 0,
    VOSK_ERR_NOT_STARTED = 2001,     /* an operation before VOSK_Start_V30 or after VOSK_Stop */
    VOSK_ERR_INVALID_ARG = 2002,     /* null pointer, unknown command, buffer too small, text too long */
    VOSK_ERR_NETWORK = 2003,         /* no usable interface, or a socket could not be opened */
    VOSK_ERR_ALREADY_STARTED = 2004, /* VOSK_Start_V30 while discovery runs */
    VOSK_ERR_NO_SUCH_DEVICE = 2005,  /* no device with that serial number or MAC has been seen */
    VOSK_ERR_WRONG_THREAD = 2006,    /* VOSK_Stop or a blocking operation called from inside the report callback */
    VOSK_ERR_AMBIGUOUS_DEVICE = 2007, /* two or more devices announce that MAC or serial number: name both (the *_ByPair calls) */
    VOSK_ERR_DEVICE_DENY = 2009,     /* the device refused: wrong password, locked out, bad key/answer/code */
    VOSK_ERR_TIMEOUT = 2011,         /* the device did not answer in time */
    VOSK_ERR_REACTIVE = 2021         /* activation of a device that is already active */
};

/* Kinds of report in VOSK_DEVICE_INFO.event. 4 is accepted like 1. */
enum {
    VOSK_EVENT_ONLINE = 1,
    VOSK_EVENT_UPDATED = 2,
    VOSK_EVENT_OFFLINE = 3,
    VOSK_EVENT_ONLINE_AGAIN = 4
};

/* Bits of VOSK_DEVICE_INFO.capabilities. */
enum {
    VOSK_CAP_IPV6 = 0x01,             /* IPv6 supported */
    VOSK_CAP_IPV6_MODIFIABLE = 0x02,  /* IPv6 parameters can be changed */
    VOSK_CAP_DHCP = 0x04,             /* DHCP supported */
    VOSK_CAP_KEY_RESET = 0x40,        /* password reset by key file or QR code */
    VOSK_CAP_RESET_CAMERAS = 0x80     /* the reset can include attached cameras */
};

/* Commands of VOSK_GetDeviceConfig. */
enum {
    VOSK_CMD_EXPORT_KEY = 1,    /* old-style key, 256 bytes of key space, buffer 260 */
    VOSK_CMD_EXPORT_KEY_V2 = 2  /* new-style key, 384 bytes of key space, buffer 388 */
};

#define VOSK_KEY_ANSWER_SIZE_V1 260
#define VOSK_KEY_ANSWER_SIZE_V2 388

/* The 500-byte device record delivered by the report callback. The ranges
 * marked reserved are not interpreted by the tool and are kept byte for
 * byte. */
typedef struct VOSK_DEVICE_INFO {
    char leadingText[12];        /*   0 */
    char serialNumber[48];       /*  12 */
    char mac[20];                /*  60 */
    char ipv4Address[16];        /*  80 */
    char ipv4Mask[16];           /*  96 */
    int32_t deviceTypeCode;      /* 112 */
    int32_t port;                /* 116 */
    int32_t channelCount;        /* 120 */
    uint8_t reserved124[4];      /* 124 */
    char softwareVersion[48];    /* 128 */
    char dspVersion[48];         /* 176 */
    char startTime[48];          /* 224 */
    int32_t event;               /* 272 */
    char deviceDescription[48];  /* 276 */
    char ipv4Gateway[16];        /* 324 */
    char ipv6Address[46];        /* 340 */
    char ipv6Gateway[46];        /* 386 */
    uint8_t ipv6PrefixLength;    /* 432 */
    uint8_t capabilities;        /* 433 */
    uint8_t dhcpEnabled;         /* 434 */
    uint8_t addressInfoValid;    /* 435 */
    uint16_t httpPort;           /* 436 */
    uint8_t reserved438[21];     /* 438 */
    uint8_t notActivated;        /* 459 */
    uint8_t reserved460[24];     /* 460 */
    uint8_t newResetType;        /* 484 */
    uint8_t reserved485[15];     /* 485 */
} VOSK_DEVICE_INFO;

/* The 436-byte block of new network parameters; zero-fill before use. */
typedef struct VOSK_NET_PARAM {
    char ipv4Address[16];        /*   0 */
    char ipv4Mask[16];           /*  16 */
    char ipv4Gateway[16];        /*  32 */
    char ipv6Address[128];       /*  48 */
    char ipv6Gateway[128];       /* 176 */
    uint16_t port;               /* 304 */
    uint8_t ipv6PrefixLength;    /* 306 */
    uint8_t dhcpEnabled;         /* 307 */
    uint16_t httpPort;           /* 308 */
    uint8_t reserved[126];       /* 310 */
} VOSK_NET_PARAM;

/* What VOSK_GetDeviceConfig fills for the key-export commands: the length
 * of the key data, then the key data (256 bytes of space for command 1,
 * 384 for command 2; the buffer size passed is 260 or 388). */
typedef struct VOSK_KEY_ANSWER {
    uint32_t length;             /*   0 */
    uint8_t keyData[384];        /*   4 */
} VOSK_KEY_ANSWER;

/* The 1044-byte block of VOSK_ResetPasswd, zero-filled. Exactly one of
 * keyText (a typed key) and answerFilePath (an answer file on disk) is set.
 * Texts carry no terminator of their own: a field that is full is read to
 * its width. */
typedef struct VOSK_RESET_PASSWD_PARAM {
    char keyText[256];           /*    0 */
    char answerFilePath[260];    /*  256 */
    char newPassword[16];        /*  516 */
    uint8_t resetCameras;        /*  532: 1 = also reset attached cameras */
    uint8_t reserved[511];       /*  533 */
} VOSK_RESET_PASSWD_PARAM;

/* Called on the library's own thread, once per device event. The record is
 * valid only during the call; copy what you keep. Never called after
 * VOSK_Stop() has returned. */
typedef void (*VOSK_DeviceFindCallBack)(const VOSK_DEVICE_INFO *record, void *user);

/* Sets up the library's log file. level: 0 off, 1 errors, 2 warnings,
 * 3 everything. target: 0 the per-user default file
 * ($VOSK_LOG_DIR or $XDG_STATE_HOME/vosk, else ~/.local/state/vosk,
 * file "vosk.log"); other values are reserved. truncate: 1 starts a new
 * file, 0 appends. No password, key, answer or security code is logged.
 * Any thread. Returns 1; 0 with VOSK_ERR_INVALID_ARG for a bad level or
 * target, or when the log file cannot be opened. */
int VOSK_SetLogToFile(int level, int target, int truncate);

/* on 1: report only devices that state a device type (deviceTypeCode not
 * 0); on 0: report every device. The other two arguments are reserved and
 * must be 0. May be called before or after VOSK_Start_V30; takes effect for
 * the next report. Returns non-zero on success; 0 with VOSK_ERR_INVALID_ARG. */
int VOSK_SetDeviceFilterRule(int on, int reserved1, int reserved2);

/* Starts discovery: opens the sockets, sends the first inquiries and calls
 * callback(record, user) on the library's thread for every device event:
 * 1 online (first report, or first after VOSK_Clearup), 2 updated (a report
 * with a different record), 3 offline (after the device's bye, or when it
 * answered none of 3 automatic inquiry rounds, which run every 30 s, the
 * first one 5 s after the start or a VOSK_SendInquiry). The
 * callback may call VOSK_SendInquiry, VOSK_Clearup, VOSK_SetDeviceFilterRule,
 * VOSK_SetLogToFile and VOSK_GetLastError; VOSK_Stop and the blocking
 * operations fail there with VOSK_ERR_WRONG_THREAD (the library's thread
 * receives their answers, so it must not wait for them). Interfaces that appear or
 * vanish later are followed (checked every 2 s). mode must be 1. Returns 1;
 * 0 with VOSK_ERR_INVALID_ARG (null callback, bad mode),
 * VOSK_ERR_ALREADY_STARTED, or VOSK_ERR_NETWORK (no usable interface, or
 * no socket could be opened). While another thread's VOSK_Stop is still
 * ending the previous run, it waits for that first. */
int VOSK_Start_V30(VOSK_DeviceFindCallBack callback, int mode, void *user);

/* Asks every device to report again. Devices already known are reported
 * only if something changed. Any thread. Returns 1; 0 with
 * VOSK_ERR_NOT_STARTED. */
int VOSK_SendInquiry(void);

/* Forgets every known device so that each is reported online again when it
 * next answers. Does not report the forgotten ones as offline. Any thread.
 * Returns 1; 0 with VOSK_ERR_NOT_STARTED. */
int VOSK_Clearup(void);

/* Ends discovery and joins the library's thread; no callback runs after it
 * returns. Operations still waiting in other threads return 0 with
 * VOSK_ERR_NOT_STARTED. Safe during static destruction at process exit and
 * in a process without a Qt application object. Several threads may call
 * it at once: each returns only after the last callback has ended. Returns
 * 1 (also when not started); 0 with VOSK_ERR_WRONG_THREAD when called from
 * inside the callback (joining its own thread would deadlock). */
int VOSK_Stop(void);

/* Sends new network parameters to the device with that MAC, authorised by
 * its administrator password (1..64 bytes). The password travels sealed to
 * the device's key. A MAC that two devices heard lately announce names
 * neither: the call fails with VOSK_ERR_AMBIGUOUS_DEVICE and sends nothing
 * (the same holds for the serial number of the calls below; the *_ByPair
 * calls at the end address one of such devices). Blocks until the device answers, at most 3 s. Any
 * thread but the callback's. Returns 1 when the device has taken them (it then reports itself
 * as updated); 0 with
 * - VOSK_ERR_INVALID_ARG: a null argument, a password or MAC too long, a
 *   text field without its terminator, or parameters the device finds
 *   malformed (bad address or mask, port 0, DHCP it does not support);
 * - VOSK_ERR_NOT_STARTED, VOSK_ERR_NO_SUCH_DEVICE (never seen);
 * - VOSK_ERR_AMBIGUOUS_DEVICE: another device announces the same MAC;
 * - VOSK_ERR_WRONG_THREAD: called from inside the report callback;
 * - VOSK_ERR_DEVICE_DENY: wrong password, device not activated, or locked
 *   out (60 s after 5 failures, also with the right password);
 * - VOSK_ERR_TIMEOUT: no answer within 3 s (retransmitted meanwhile). */
int VOSK_ModifyDeviceNetParam(const char *mac, const char *password, VOSK_NET_PARAM *param);

/* Activates the device with that serial number with its first
 * administrator password (1..64 bytes, sealed). Blocking, any thread but the callback's.
 * Returns 1 (also when the device's first answer was lost and a
 * retransmission got its remembered answer); 0 with VOSK_ERR_REACTIVE when
 * it is active already, or the errors of VOSK_ModifyDeviceNetParam. */
int VOSK_ActivateDevice(const char *serialNumber, const char *password);

/* Reads a configuration block of the device with that serial number.
 * command VOSK_CMD_EXPORT_KEY (outSize >= 260) or VOSK_CMD_EXPORT_KEY_V2
 * (outSize >= 388) fills a VOSK_KEY_ANSWER with the device key: printable
 * ASCII without a zero byte, zero-filled after it up to 260 or 388 bytes.
 * A device returns the same key until it expires (24 h) or an answer has
 * used it. Only devices with VOSK_CAP_KEY_RESET offer a key, and command 2
 * only the new-style ones. inBuf and inSize are reserved (null, 0).
 * Blocking, any thread but the callback's. Returns 1; 0 with
 * VOSK_ERR_INVALID_ARG, VOSK_ERR_NOT_STARTED, VOSK_ERR_NO_SUCH_DEVICE,
 * VOSK_ERR_WRONG_THREAD, VOSK_ERR_DEVICE_DENY (the device does not offer that key) or
 * VOSK_ERR_TIMEOUT. */
int VOSK_GetDeviceConfig(const char *serialNumber, unsigned int command,
                         const void *inBuf, unsigned int inSize,
                         void *outBuf, unsigned int outSize);

/* Resets the administrator password of the device with that serial number
 * with the reset service's answer (typed key or answer file) for its
 * exported key. The library reads the answer file (at most 1,000 bytes)
 * and sends the typed text or the file's content, with the new password,
 * sealed to the device. Blocking, any thread but the callback's. Returns 1;
 * 0 with VOSK_ERR_INVALID_ARG (both or neither of keyText and answerFilePath set,
 * empty new password, unreadable, empty or oversized answer file),
 * VOSK_ERR_DEVICE_DENY (an answer that is not for this device, not for its
 * current key, has expired or was used), or the errors of
 * VOSK_ModifyDeviceNetParam. */
int VOSK_ResetPasswd(const char *serialNumber, const VOSK_RESET_PASSWD_PARAM *param);

/* Restores the default password of the device with that serial number with
 * a security code from the reset service (1..64 bytes, sealed). Blocking,
 * any thread but the callback's. Returns 1; 0 with VOSK_ERR_DEVICE_DENY for a wrong, expired
 * or already used code, or the errors of VOSK_ModifyDeviceNetParam. */
int VOSK_ResetDefaultPasswd(const char *serialNumber, const char *securityCode);

/* The operations above addressed to exactly one device: the one whose
 * reports carry both this serial number and this MAC. The request names
 * both, so a second device that shares either half neither answers it nor
 * could open it (it is sealed to the chosen device's key). Arguments,
 * blocking and results as the call of the same name, and
 * VOSK_ERR_NO_SUCH_DEVICE when no device has reported that pair;
 * VOSK_ERR_AMBIGUOUS_DEVICE never happens here. */
int VOSK_ModifyDeviceNetParam_ByPair(const char *serialNumber, const char *mac, const char *password,
                                     VOSK_NET_PARAM *param);
int VOSK_ActivateDevice_ByPair(const char *serialNumber, const char *mac, const char *password);
int VOSK_GetDeviceConfig_ByPair(const char *serialNumber, const char *mac, unsigned int command,
                                const void *inBuf, unsigned int inSize, void *outBuf, unsigned int outSize);
int VOSK_ResetPasswd_ByPair(const char *serialNumber, const char *mac, const VOSK_RESET_PASSWD_PARAM *param);
int VOSK_ResetDefaultPasswd_ByPair(const char *serialNumber, const char *mac, const char *securityCode);

/* The code of the calling thread's last failure (VOSK_OK if none); a
 * success does not reset it. */
int VOSK_GetLastError(void);

#ifdef __cplusplus
} /* extern "C" */

#include <cstddef>
static_assert(sizeof(VOSK_DEVICE_INFO) == 500, "VOSK_DEVICE_INFO is 500 bytes");
static_assert(offsetof(VOSK_DEVICE_INFO, serialNumber) == 12, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, mac) == 60, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, ipv4Address) == 80, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, ipv4Mask) == 96, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, deviceTypeCode) == 112, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, port) == 116, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, channelCount) == 120, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, reserved124) == 124, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, softwareVersion) == 128, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, dspVersion) == 176, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, startTime) == 224, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, event) == 272, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, deviceDescription) == 276, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, ipv4Gateway) == 324, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, ipv6Address) == 340, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, ipv6Gateway) == 386, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, ipv6PrefixLength) == 432, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, capabilities) == 433, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, dhcpEnabled) == 434, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, addressInfoValid) == 435, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, httpPort) == 436, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, reserved438) == 438, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, notActivated) == 459, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, reserved460) == 460, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, newResetType) == 484, "layout");
static_assert(offsetof(VOSK_DEVICE_INFO, reserved485) == 485, "layout");

static_assert(sizeof(VOSK_NET_PARAM) == 436, "VOSK_NET_PARAM is 436 bytes");
static_assert(offsetof(VOSK_NET_PARAM, ipv4Mask) == 16, "layout");
static_assert(offsetof(VOSK_NET_PARAM, ipv4Gateway) == 32, "layout");
static_assert(offsetof(VOSK_NET_PARAM, ipv6Address) == 48, "layout");
static_assert(offsetof(VOSK_NET_PARAM, ipv6Gateway) == 176, "layout");
static_assert(offsetof(VOSK_NET_PARAM, port) == 304, "layout");
static_assert(offsetof(VOSK_NET_PARAM, ipv6PrefixLength) == 306, "layout");
static_assert(offsetof(VOSK_NET_PARAM, dhcpEnabled) == 307, "layout");
static_assert(offsetof(VOSK_NET_PARAM, httpPort) == 308, "layout");
static_assert(offsetof(VOSK_NET_PARAM, reserved) == 310, "layout");

static_assert(sizeof(VOSK_KEY_ANSWER) == VOSK_KEY_ANSWER_SIZE_V2, "VOSK_KEY_ANSWER is 388 bytes");
static_assert(sizeof(VOSK_RESET_PASSWD_PARAM) == 1044, "VOSK_RESET_PASSWD_PARAM is 1044 bytes");
static_assert(offsetof(VOSK_RESET_PASSWD_PARAM, answerFilePath) == 256, "layout");
static_assert(offsetof(VOSK_RESET_PASSWD_PARAM, newPassword) == 516, "layout");
static_assert(offsetof(VOSK_RESET_PASSWD_PARAM, resetCameras) == 532, "layout");

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "The device records are little-endian; this host is not."
#endif
#endif /* __cplusplus */
