/* ZipEngineApi.h: the contract between the component and the two engine
 * libraries, libzipdll.so (compression: adding, updating, deleting) and
 * libunzdll.so (decompression: extracting, testing).
 *
 * The component fills a command record and calls the engine's *Exec entry point
 * with it. The engine does the whole operation inside that call and meanwhile
 * calls the record's ZCallbackFunc, synchronously and only on the thread that
 * called *Exec, for progress, messages and questions. *Exec returns when the
 * operation is over; no engine keeps a thread, a handle or a pointer of the
 * caller's after it returns.
 *
 * Pointer lifetimes: every pointer in a command record (texts, tables, memory
 * blocks) must stay valid until *Exec returns; the engine never frees one. The
 * ZCallBackStruct handed to the callback belongs to the engine and is valid only
 * during that one callback call; the callback must not keep its address. A memory
 * block the callback hands out (action 13) must stay valid until *Exec returns.
 *
 * Failures: no exception crosses the boundary in either direction. The engine
 * reports every failure as a message (action 4) carrying one of the kEngine*
 * codes below, then reports the end of the batch (action 3). A callback must not
 * throw; an engine that meets an exception from it ends the call with result 0.
 *
 * Layout: fields are listed in their wire order, "in" meaning the engine reads
 * it, "out" meaning the engine writes it. Fields that carry an address are
 * pointer-width; every other field keeps its listed width, so on a 32-bit target
 * the offsets are exactly the documented ones (checked below). */
#ifndef ZIP_ENGINE_API_H
#define ZIP_ENGINE_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Callback ----------------------------------------------------------------- */

/* Action codes of ZCallBackStruct.ActionCode. Unless an action lists an answer
 * ("Out"), the engine ignores what the callback leaves in the record. */
enum {
  kActionMemberBegin = 1,   /* FileNameOrMsg: member name; FileSize: its size */
  kActionBytesDone = 2,     /* FileSize: bytes just processed */
  kActionBatchEnd = 3,      /* the operation has ended */
  kActionMessage = 4,       /* ErrorCode: error code (0 = information); text: message */
  kActionMemberCount = 5,   /* FileSize: members the operation will process */
  kActionTotalBytes = 6,    /* FileSize: bytes the operation will process */
  kActionNewName = 7,       /* text: old name in, new name out; ErrorCode out: changed */
  kActionPassword = 8,      /* ErrorCode bit 0: for adding; FileSize: repeat count.
                               Out: ErrorCode 1 + password in text, FileSize repeats left;
                               ActionCode set to 0 means "cancel all" */
  kActionCrcError = 9,      /* ErrorCode: found CRC, FileSize: expected CRC.
                               Out ErrorCode: kCrcAnswer* */
  kActionOverwrite = 10,    /* ErrorCode: bit 16 older, low 16 bits index; FileSize: 1 = overwrite.
                               Out FileSize: overwrite 1/0 */
  kActionSkipped = 11,      /* ErrorCode: error code; FileSize low byte: skip reason */
  kActionComment = 12,      /* comment at FileNameOrMsg + kCallbackCommentOffset */
  kActionOutputMemory = 13  /* FileSize: bytes wanted. Out: FileSize = address, ErrorCode 1 on failure */
};

/* The callback's result: kCallbackContinue (0) lets the engine go on; any other
 * value asks it to stop. The engine stops at its next safe point, removes what it
 * had half written, reports kEngineAborted and the batch end, and treats every
 * later answer as "stop" too. A null ZCallbackFunc is allowed: every question
 * then keeps the default answer the engine put into the record. */
/* fLevel beyond the classic levels: the smallest output, at several times the time of 9. */
#define kLevelBest 10

#define kCallbackContinue 0
#define kCallbackStop 1

/* Answers to a CRC error (kActionCrcError), in ErrorCode. */
enum { kCrcAnswerDiscard = 0, kCrcAnswerKeep = 1, kCrcAnswerNoHandler = 2 };

/* Skip reasons (kActionSkipped); the component's UnZipSkipTypes ordinal is reason - 1. */
enum {
  kSkipOnFreshen = 1,         /* freshen: not present in the target */
  kSkipNoOverwrite = 2,       /* exists; overwriting off or declined */
  kSkipFileExists = 3,        /* update: the existing file is not older */
  kSkipBadPassword = 4,       /* no or wrong password */
  kSkipNoEncryption = 5,      /* encryption not supported */
  kSkipCompressionUnknown = 6,/* unsupported compression method */
  kSkipUnknownHost = 7,       /* unknown host system */
  kSkipFormatWrong = 8,       /* damaged member data or headers */
  kSkipGeneralError = 9,      /* other extraction error */
  kSkipUnsafeName = 10        /* absolute, drive letter or ".." name, or a link leaving the base */
};

/* Engine error codes, passed in ErrorCode of kActionMessage and kActionSkipped. */
enum {
  kEngineOk = 0,
  kEngineWarning = 1,         /* in a message: a note on a member processed in full; in a skip report: a member left out */
  kEngineBadArchive = 2,      /* archive structure damaged or not a ZIP archive */
  kEngineNoMemory = 3,
  kEngineCrcError = 4,        /* CRC-32 of a member does not match */
  kEngineBadPassword = 5,     /* password missing or wrong */
  kEngineOpenError = 6,       /* a file could not be opened */
  kEngineReadError = 7,
  kEngineWriteError = 8,      /* includes a full disk */
  kEngineCreateError = 9,     /* an output file or directory could not be created */
  kEngineUnsupported = 10,    /* unsupported compression method or feature */
  kEngineUnsafeName = 11,     /* member name would leave the base directory */
  kEngineSizeError = 12,      /* member data longer or shorter than declared */
  kEngineNothingToDo = 13,    /* no member or file matched the specifications */
  kEngineAborted = 14,        /* the callback asked to stop */
  kEngineBadParameters = 15,  /* the command record is malformed */
  kEngineTempError = 16,      /* the temporary archive could not be written or moved */
  kEngineFileNotFound = 17,   /* a named input file does not exist */
  kEngineUnexpected = 18      /* an unexpected failure inside the engine */
};

/* Text area layout of ZCallBackStruct. */
#define kCallbackTextSize 516
#define kCallbackCommentOffset 256

/* One callback call. The engine zeroes the record, fills it, calls, and reads
 * the answers of the action back before the next call. */
typedef struct ZCallBackStruct {
  uint32_t Handle;          /* 0 in: fHandle of the command record */
  void* Caller;             /* 4 in: fCaller of the command record */
  uint32_t Version;         /* 8 in: engine version, 160 */
  uint32_t IsOperationZip;  /* 12 in: 1 when the compression engine asks for a password (action 8) */
  int32_t ActionCode;       /* 16 in: kAction*; out: 0 for "cancel all" (action 8 only) */
  int32_t ErrorCode;        /* 20 in/out: first value, per action */
  intptr_t FileSize;        /* 24 in/out: second value, per action (an address for action 13) */
  char FileNameOrMsg[kCallbackTextSize]; /* 28 in: name or message, zero-terminated, at most
                               255 bytes; member comment at +256 (action 12).
                               out: new name, password or comment, zero-terminated */
} ZCallBackStruct;

/* Returns kCallbackContinue or, to stop the engine, any other value. */
typedef int32_t (*ZFunctionPtr)(ZCallBackStruct* record);

/* ---- Extract command record (UnzDllExec) ---------------------------------------
 * Every field is "in": the engine reads the record and writes only fOutStream's
 * block (and memory the callback handed out with action 13). Texts are
 * zero-terminated in the system code page; a null text means empty. */

typedef struct UnzFileData {
  char* fFileSpec;          /* 0: wildcard specification of members; "name.*" also takes "name" */
  uint8_t fReserved[68];    /* 4..71 */
} UnzFileData;

#define UNZ_HEAD                                                              \
  uint32_t fHandle;         /* 0: owner window handle */                      \
  void* fCaller;            /* 4: the component */                            \
  uint32_t fVersion;        /* 8: 160 */                                      \
  ZFunctionPtr ZCallbackFunc; /* 12 */                                        \
  uint32_t fTraceEnabled;   /* 16 */                                          \
  uint16_t fWantedCodePage; /* 20: 0 auto, 1 none, 2 OEM */                   \
  uint16_t fReserved0;      /* 22 */                                          \
  char* lpszPassword;       /* 24 */                                          \
  uint32_t fTest;           /* 28 */                                          \
  uint32_t fComments;       /* 32: 0 */                                       \
  uint32_t fConvert;        /* 36: 0 */                                       \
  uint32_t fQuiet;          /* 40: 1 */                                       \
  uint32_t fVerboseEnabled; /* 44 */                                          \
  uint32_t fUpdate;         /* 48 */                                          \
  uint32_t fFreshen;        /* 52 */                                          \
  uint32_t fDirectories;    /* 56: keep directory names */                    \
  uint32_t fOverwrite;      /* 60 */                                          \
  uint32_t fArgc;           /* 64: number of file specifications */           \
  char* lpszZipFN;          /* 68: archive file name */

/* Current layout, engine version 152 and later. */
typedef struct UnzParams {
  UNZ_HEAD
  UnzFileData* fUFDS;       /* 72: fArgc entries */
  uint32_t fReserved1;      /* 76 */
  uint32_t fUseOutStream;   /* 80: extract exactly one member into memory */
  void* fOutStream;         /* 84: its block, or null to be asked for (action 13) */
  uint32_t fOutStreamSize;  /* 88: size of that block */
  uint32_t fUseInStream;    /* 92: the input is one stream in memory (needs fUseOutStream) */
  void* fInStream;          /* 96: stream header (below) and compressed data */
  uint32_t fInStreamSize;   /* 100 */
  uint32_t fPwdReqCount;    /* 104: password requests allowed per member */
  char* fExtractDir;        /* 108: base directory, block of 261 bytes; empty: current directory */
  uint8_t fReserved2[32];   /* 112 */
  uint32_t fSeven;          /* 144: 7; any other value is refused with kEngineBadParameters */
} UnzParams;

/* Older layout, engine versions below 152; the decompression engine of this
 * tree takes only the current one. */
#define kOldSpecTableSize 4097
typedef struct UnzParamsOld {
  UNZ_HEAD
  uint32_t fSeven;          /* 72: 7 */
  char* FNV[kOldSpecTableSize]; /* 76 */
} UnzParamsOld;

/* ---- Add command record (ZipDllExec), also used for deleting ----------------------
 * Every field is "in" except fOutStreamSize, which the engine sets to the bytes
 * it produced. Texts are zero-terminated in the system code page; a null text
 * means none. The engine takes both layouts: the one whose fSeven holds 7. */

typedef struct ZipFileData {
  char* fFileSpec;          /* 0 */
  uint8_t fReserved1[8];    /* 4..11 */
  char* fFilePassword;      /* 12 */
  uint32_t fEncrypt;        /* 16 */
  uint16_t fRecurse;        /* 20 */
  uint16_t fNoRecurseFiles; /* 22 */
  uint8_t fReserved2[12];   /* 24..35 */
  char* fRootDir;           /* 36 */
  uint8_t fReserved3[64];   /* 40..103 */
} ZipFileData;

#define ZIP_HEAD                                                              \
  uint32_t fHandle;         /* 0 */                                           \
  void* fCaller;            /* 4 */                                           \
  uint32_t fVersion;        /* 8: 160 */                                      \
  ZFunctionPtr ZCallbackFunc; /* 12 */                                        \
  uint32_t fTraceEnabled;   /* 16 */                                          \
  char* pZipPassword;       /* 20: null when none */                          \
  char* pSuffix;            /* 24: ".gif:.png:..." or null */                 \
  uint32_t fEncrypt;        /* 28 */                                          \
  uint32_t fSystem;         /* 32: include hidden and system files */         \
  uint32_t fVolume;         /* 36: store the volume label */                  \
  uint32_t fExtra;          /* 40: reserved */                                \
  uint32_t fNoDirEntries;   /* 44 */                                          \
  uint32_t fDate;           /* 48: reserved */                                \
  uint32_t fVerboseEnabled; /* 52 */                                          \
  uint32_t fQuiet;          /* 56: 1 */                                       \
  int32_t fLevel;           /* 60: 0..9, or kLevelBest */                     \
  uint32_t fComprSpecial;   /* 64: 0 */                                       \
  uint32_t fCRLF_LF;        /* 68: reserved */                                \
  uint32_t fJunkDir;        /* 72 */                                          \
  uint16_t fRecurse;        /* 76 */                                          \
  uint16_t fNoRecurseFiles; /* 78: 0 */                                       \
  uint32_t fGrow;           /* 80: 1 when adding */                           \
  uint32_t fForce;          /* 84: MS-DOS names */                            \
  uint32_t fMove;           /* 88 */                                          \
  uint32_t fDeleteEntries;  /* 92: 1 when deleting */                         \
  uint32_t fUpdate;         /* 96 */                                          \
  uint32_t fFreshen;        /* 100 */                                         \
  uint32_t fJunkSFX;        /* 104: reserved */                               \
  uint32_t fLatestTime;     /* 108: archive gets the newest member's time */  \
  uint32_t fAesKeyBits;     /* 112: 0 traditional cipher, 128/192/256 AES */ \
  uint32_t fStoreLinks;     /* 116: symbolic links as links, not followed */  \
  uint32_t fArgc;           /* 120 */                                         \
  char* pZipFN;             /* 124 */

typedef struct ZipParams {
  ZIP_HEAD
  char* pTempDir;           /* 128 */
  char* fArchComment;       /* 132 */
  uint16_t fArchiveFilesOnly; /* 136 */
  uint16_t fResetArchiveBit;  /* 138 */
  ZipFileData* fFDS;        /* 140 */
  /* 144: when not null, the archive whose members are kept: the engine reads it,
   * leaves it as it is and writes the result to pZipFN (absent until complete). */
  char* pKeepFromZipFN;
  uint32_t fTotExFileSpecs; /* 148 */
  char** fExFiles;          /* 152 */
  uint32_t fUseOutStream;   /* 156 */
  void* fOutStream;         /* 160 */
  uint32_t fOutStreamSize;  /* 164: in: buffer size; out: bytes produced */
  uint32_t fUseInStream;    /* 168 */
  void* fInStream;          /* 172 */
  uint32_t fInStreamSize;   /* 176 */
  uint32_t fStrFileAttr;    /* 180 */
  uint32_t fStrFileDate;    /* 184 */
  uint32_t fHowToMove;      /* 188: 1 = sources go to the Trash */
  uint16_t fWantedCodePage; /* 192 */
  uint8_t fReserved194[18]; /* 194..211 */
  uint32_t fSeven;          /* 212: 7 */
} ZipParams;

typedef struct ZipParamsOld {
  ZIP_HEAD
  uint32_t fSeven;          /* 128 */
  char* FDS[kOldSpecTableSize]; /* 132 */
} ZipParamsOld;

/* ---- Engine entry points --------------------------------------------------------
 * ZipDllExec returns the number of members added (adding), deleted (deleting),
 * or 1 for a stream compressed into memory; UnzDllExec returns the number of
 * members extracted or tested without failure. Both return 0 when nothing was
 * done: a null or malformed record, a failure that ended the run (reported as a
 * message first), or a stop asked for by the callback. A skipped member is not
 * counted. Get*DllVersion returns 160; Get*DllPrivVersion returns 1600. */

typedef int32_t (*ZipDllExecFn)(ZipParams* record);
typedef int32_t (*UnzDllExecFn)(UnzParams* record);
typedef int32_t (*DllVersionFn)(void);

/* ---- Stream header ----------------------------------------------------------------
 * Compressed stream output (add: stream to stream) starts with 6 bytes: the CRC-32
 * of the uncompressed data (32 bits, little-endian) and the method (16 bits, 0
 * stored, 8 deflate). The compressed data follows. Extraction from memory reads
 * the same layout; fOutStreamSize then gives the uncompressed size. */
#define kStreamHeaderSize 6

#ifdef __cplusplus
}  /* extern "C" */

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ZCallBackStruct) >= 28 + 513, "callback record");
static_assert(offsetof(ZCallBackStruct, FileNameOrMsg) == 28, "callback text area");
static_assert(sizeof(UnzParams) == 148, "extract record, current layout");
static_assert(offsetof(UnzParams, fPwdReqCount) == 104, "extract record");
static_assert(sizeof(UnzParamsOld) == 16464, "extract record, older layout");
static_assert(sizeof(UnzFileData) == 72, "extract file specification");
static_assert(sizeof(ZipParams) == 216, "add record, current layout");
static_assert(offsetof(ZipParams, fFDS) == 140, "add record");
static_assert(offsetof(ZipParams, fWantedCodePage) == 192, "add record");
static_assert(sizeof(ZipParamsOld) == 16520, "add record, older layout");
static_assert(sizeof(ZipFileData) == 104, "add file specification");
static_assert(offsetof(ZipFileData, fRootDir) == 36, "add file specification");
#endif
#endif

#endif /* ZIP_ENGINE_API_H */
