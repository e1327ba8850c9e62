// The part of Oracle's call interface (OCI 8 and later) that the client-library double answers,
// declared from the OCI Programmer's Guide: the scalar types, the handle types, the constants
// and the prototypes of the relational calls. Every value here is the documented one; nothing
// is taken from Oracle's own headers.
//
// The double (libclntsh.so, built into build/oci-double/) defines these functions with C
// linkage; its tests load it with dlopen and call them through pointers of the types below.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// Scalar types of the interface (OCI Programmer's Guide, "OCI Data Types").
using sword = int;
using sb1 = std::int8_t;
using ub1 = std::uint8_t;
using sb2 = std::int16_t;
using ub2 = std::uint16_t;
using sb4 = std::int32_t;
using ub4 = std::uint32_t;
using sb8 = std::int64_t;
using ub8 = std::uint64_t;
using OraText = unsigned char;

// Handles and descriptors: opaque to the caller.
struct OCIEnv;
struct OCIError;
struct OCISvcCtx;
struct OCIStmt;
struct OCIDefine;
struct OCIBind;
struct OCIParam;
struct OCISnapshot;

// Return codes of every call.
inline constexpr sword OCI_SUCCESS = 0;
inline constexpr sword OCI_SUCCESS_WITH_INFO = 1;
inline constexpr sword OCI_NO_DATA = 100;
inline constexpr sword OCI_ERROR = -1;
inline constexpr sword OCI_INVALID_HANDLE = -2;
inline constexpr sword OCI_NEED_DATA = 99;
inline constexpr sword OCI_CONTINUE = -24200;

// Handle types (OCIHandleAlloc, OCIHandleFree, OCIAttrGet, OCIErrorGet) and descriptor types.
inline constexpr ub4 OCI_HTYPE_ENV = 1;
inline constexpr ub4 OCI_HTYPE_ERROR = 2;
inline constexpr ub4 OCI_HTYPE_SVCCTX = 3;
inline constexpr ub4 OCI_HTYPE_STMT = 4;
inline constexpr ub4 OCI_HTYPE_BIND = 5;
inline constexpr ub4 OCI_HTYPE_DEFINE = 6;
inline constexpr ub4 OCI_HTYPE_DESCRIBE = 7;
inline constexpr ub4 OCI_HTYPE_SERVER = 8;
inline constexpr ub4 OCI_HTYPE_SESSION = 9;
inline constexpr ub4 OCI_HTYPE_TRANS = 10;
inline constexpr ub4 OCI_DTYPE_PARAM = 53;

// Modes.
inline constexpr ub4 OCI_DEFAULT = 0x00;
inline constexpr ub4 OCI_THREADED = 0x01;
inline constexpr ub4 OCI_OBJECT = 0x02;
inline constexpr ub4 OCI_DESCRIBE_ONLY = 0x10;
inline constexpr ub4 OCI_COMMIT_ON_SUCCESS = 0x20;
inline constexpr ub4 OCI_PARSE_ONLY = 0x100;
inline constexpr ub4 OCI_DYNAMIC_FETCH = 0x02;  // OCIDefineByPos mode
inline constexpr ub4 OCI_NTV_SYNTAX = 1;        // OCIStmtPrepare2 language

// Fetch orientations.
inline constexpr ub2 OCI_FETCH_CURRENT = 0x01;
inline constexpr ub2 OCI_FETCH_NEXT = 0x02;
inline constexpr ub2 OCI_FETCH_FIRST = 0x04;
inline constexpr ub2 OCI_FETCH_LAST = 0x08;

// Pieces of a piecewise (dynamic) fetch.
inline constexpr ub1 OCI_ONE_PIECE = 0;
inline constexpr ub1 OCI_FIRST_PIECE = 1;
inline constexpr ub1 OCI_NEXT_PIECE = 2;
inline constexpr ub1 OCI_LAST_PIECE = 3;

// Statement types (OCI_ATTR_STMT_TYPE).
inline constexpr ub2 OCI_STMT_UNKNOWN = 0;
inline constexpr ub2 OCI_STMT_SELECT = 1;
inline constexpr ub2 OCI_STMT_UPDATE = 2;
inline constexpr ub2 OCI_STMT_DELETE = 3;
inline constexpr ub2 OCI_STMT_INSERT = 4;
inline constexpr ub2 OCI_STMT_CREATE = 5;
inline constexpr ub2 OCI_STMT_DROP = 6;
inline constexpr ub2 OCI_STMT_ALTER = 7;
inline constexpr ub2 OCI_STMT_BEGIN = 8;
inline constexpr ub2 OCI_STMT_DECLARE = 9;
inline constexpr ub2 OCI_STMT_CALL = 10;
inline constexpr ub2 OCI_STMT_MERGE = 16;
inline constexpr ub2 OCI_STMT_ROLLBACK = 17;
inline constexpr ub2 OCI_STMT_COMMIT = 21;

// Attributes. Parameter (describe) attributes and handle attributes share numbers.
inline constexpr ub4 OCI_ATTR_DATA_SIZE = 1;          // ub2
inline constexpr ub4 OCI_ATTR_DATA_TYPE = 2;          // ub2
inline constexpr ub4 OCI_ATTR_DISP_SIZE = 3;          // ub2
inline constexpr ub4 OCI_ATTR_NAME = 4;               // OraText* and its length in *sizep
inline constexpr ub4 OCI_ATTR_PRECISION = 5;          // sb2 for a statement's select list
inline constexpr ub4 OCI_ATTR_SCALE = 6;              // sb1
inline constexpr ub4 OCI_ATTR_IS_NULL = 7;            // ub1
inline constexpr ub4 OCI_ATTR_ROW_COUNT = 9;          // ub4
inline constexpr ub4 OCI_ATTR_SQLFNCODE = 10;         // ub2
inline constexpr ub4 OCI_ATTR_PREFETCH_ROWS = 11;     // ub4
inline constexpr ub4 OCI_ATTR_PREFETCH_MEMORY = 13;   // ub4
inline constexpr ub4 OCI_ATTR_PARAM_COUNT = 18;       // ub4
inline constexpr ub4 OCI_ATTR_STMT_TYPE = 24;         // ub2
inline constexpr ub4 OCI_ATTR_ENV_CHARSET_ID = 31;    // ub2
inline constexpr ub4 OCI_ATTR_CHARSET_FORM = 32;      // ub1
inline constexpr ub4 OCI_ATTR_ROWS_FETCHED = 197;     // ub4
inline constexpr ub4 OCI_ATTR_ENV_NCHARSET_ID = 262;  // ub2
inline constexpr ub4 OCI_ATTR_CHAR_USED = 285;        // ub1
inline constexpr ub4 OCI_ATTR_CHAR_SIZE = 286;        // ub2
inline constexpr ub4 OCI_ATTR_UB8_ROW_COUNT = 457;    // ub8

// OCINlsNumericInfoGet items.
inline constexpr ub2 OCI_NLS_CHARSET_MAXBYTESZ = 91;

// Character set form of a column.
inline constexpr ub1 SQLCS_IMPLICIT = 1;

// External data types (SQLT_*) and the describe code of a ROWID.
inline constexpr ub2 SQLT_CHR = 1;
inline constexpr ub2 SQLT_NUM = 2;
inline constexpr ub2 SQLT_INT = 3;
inline constexpr ub2 SQLT_FLT = 4;
inline constexpr ub2 SQLT_STR = 5;
inline constexpr ub2 SQLT_VNU = 6;
inline constexpr ub2 SQLT_LNG = 8;
inline constexpr ub2 SQLT_RID = 11;
inline constexpr ub2 SQLT_DAT = 12;
inline constexpr ub2 SQLT_BIN = 23;
inline constexpr ub2 SQLT_LBI = 24;
inline constexpr ub2 SQLT_UIN = 68;
inline constexpr ub2 SQLT_AFC = 96;
inline constexpr ub2 SQLT_RDD = 104;

// The callback of a dynamic define: asked for a buffer for each piece of a column value.
using OCICallbackDefine = sb4 (*)(void* octxp, OCIDefine* defnp, ub4 iter, void** bufpp,
                                  ub4** alenp, ub1* piecep, void** indp, ub2** rcodep);

sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 mode, void* ctxp,
                      void* (*malocfp)(void* ctxp, std::size_t size),
                      void* (*ralocfp)(void* ctxp, void* memptr, std::size_t newsize),
                      void (*mfreefp)(void* ctxp, void* memptr), std::size_t xtramem_sz,
                      void** usrmempp, ub2 charset, ub2 ncharset);
sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type, std::size_t xtramem_sz,
                     void** usrmempp);
sword OCIHandleFree(void* hndlp, ub4 type);
sword OCIDescriptorFree(void* descp, ub4 type);
sword OCILogon2(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp, const OraText* username,
                ub4 uname_len, const OraText* password, ub4 passwd_len, const OraText* dbname,
                ub4 dbname_len, ub4 mode);
sword OCILogoff(OCISvcCtx* svchp, OCIError* errhp);
sword OCIStmtPrepare2(OCISvcCtx* svchp, OCIStmt** stmthp, OCIError* errhp, const OraText* stmttext,
                      ub4 stmt_len, const OraText* key, ub4 keylen, ub4 language, ub4 mode);
sword OCIStmtRelease(OCIStmt* stmthp, OCIError* errhp, const OraText* key, ub4 keylen, ub4 mode);
sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode);
sword OCIStmtFetch2(OCIStmt* stmthp, OCIError* errhp, ub4 nrows, ub2 orientation, sb4 fetch_offset,
                    ub4 mode);
sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos);
sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,
                 OCIError* errhp);
sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 OCIError* errhp);
sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnpp, OCIError* errhp, ub4 position,
                     void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep,
                     ub4 mode);
sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindpp, OCIError* errhp, const OraText* placeholder,
                    sb4 placeh_len, void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp,
                    ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode);
sword OCIDefineDynamic(OCIDefine* defnp, OCIError* errhp, void* octxp, OCICallbackDefine ocbfp);
sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                  ub4 bufsiz, ub4 type);
sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
void OCIClientVersion(sword* major_version, sword* minor_version, sword* update_num,
                      sword* patch_num, sword* port_update_num);
sword OCINlsNumericInfoGet(void* envhp, OCIError* errhp, sb4* val, ub2 item);

}  // extern "C"
