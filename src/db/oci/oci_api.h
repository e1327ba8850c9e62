// The part of Oracle's call interface (OCI, release 8 and later) that the Oracle backend uses,
// declared from the OCI Programmer's Guide: the scalar types, the opaque handle types, the
// constants (handle types, attributes, modes, data types, return codes) and one pointer type
// per function, with the documented parameter lists.
//
// Nothing here is linked: the backend reaches the client library only through an OciApi, a
// table of function pointers that the loader (library.h) fills with dlsym and that tests fill
// with in-process fakes.
//
// The backend, file by file:
//   oci_api.h    these declarations and the function table
//   library.*    finding and loading libclntsh.so, the version check, the failure line
//   number.*     Oracle's internal NUMBER format (SQLT_VNU) to exact decimal text and back
//   statement_kind.*  what Parse and Execute do with each kind of statement, function codes
//   client.*     Logon and the connection (session handles, commit at LogOff, rollback
//                when dropped)
//   cursor.*     the call interface's cursor over one statement handle: parse, describe,
//                define, execute, fetch, error texts
//   fake_oci.h   (tests only) an in-process client that drives every mapping rule
//   testlibs/    (tests only) stand-in libclntsh.so builds for the loader's failure tests
// The opt-in live suite against a real server is tests/live/oracle_live_test.cc.
#pragma once

#include <cstddef>
#include <cstdint>

namespace volmek::db::oci {

// Scalar types of the interface.
using ub1 = std::uint8_t;
using sb1 = std::int8_t;
using ub2 = std::uint16_t;
using sb2 = std::int16_t;
using ub4 = std::uint32_t;
using sb4 = std::int32_t;
using ub8 = std::uint64_t;
using sword = int;
using OraText = unsigned char;

// Opaque handle types; the library allocates them, the backend only passes them on.
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
// What a define callback returns to go on with the fetch.
inline constexpr sb4 OCI_CONTINUE = -24200;

// Modes.
inline constexpr ub4 OCI_DEFAULT = 0x00;
inline constexpr ub4 OCI_DESCRIBE_ONLY = 0x10;  // OCIStmtExecute: describe, do not run
inline constexpr ub4 OCI_PARSE_ONLY = 0x100;    // OCIStmtExecute: parse, do not run
inline constexpr ub4 OCI_DYNAMIC_FETCH = 0x02;  // OCIDefineByPos: the buffer comes from a callback
inline constexpr ub4 OCI_NTV_SYNTAX = 1;        // OCIStmtPrepare2 language
inline constexpr ub2 OCI_FETCH_NEXT = 0x02;     // OCIStmtFetch2 orientation

// Handle and descriptor types.
inline constexpr ub4 OCI_HTYPE_ENV = 1;
inline constexpr ub4 OCI_HTYPE_ERROR = 2;
inline constexpr ub4 OCI_HTYPE_SVCCTX = 3;
inline constexpr ub4 OCI_HTYPE_STMT = 4;
inline constexpr ub4 OCI_DTYPE_PARAM = 53;

// Attributes (OCIAttrGet), with the type the guide gives for each.
inline constexpr ub4 OCI_ATTR_DATA_SIZE = 1;        // ub2, bytes in the database
inline constexpr ub4 OCI_ATTR_DATA_TYPE = 2;        // ub2, internal type code
inline constexpr ub4 OCI_ATTR_DISP_SIZE = 3;        // ub2
inline constexpr ub4 OCI_ATTR_NAME = 4;             // OraText*, with its length in bytes
inline constexpr ub4 OCI_ATTR_PRECISION = 5;        // sb2 for a select-list item
inline constexpr ub4 OCI_ATTR_SCALE = 6;            // sb1
inline constexpr ub4 OCI_ATTR_IS_NULL = 7;          // ub1, 0 for NOT NULL
inline constexpr ub4 OCI_ATTR_ROW_COUNT = 9;        // ub4
inline constexpr ub4 OCI_ATTR_PARAM_COUNT = 18;     // ub4, items of the select list
inline constexpr ub4 OCI_ATTR_STMT_TYPE = 24;       // ub2, OCI_STMT_...
inline constexpr ub4 OCI_ATTR_CHAR_SIZE = 286;      // ub2, length in characters
inline constexpr ub4 OCI_ATTR_UB8_ROW_COUNT = 457;  // ub8

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

// External data types (the dty of OCIDefineByPos) and internal codes the describe reports.
inline constexpr ub2 SQLT_CHR = 1;     // VARCHAR2; also the piecewise form of long values
inline constexpr ub2 SQLT_NUM = 2;     // NUMBER
inline constexpr ub2 SQLT_STR = 5;     // NUL-terminated string
inline constexpr ub2 SQLT_VNU = 6;     // NUMBER with a leading length byte (22 bytes at most)
inline constexpr ub2 SQLT_LNG = 8;     // LONG
inline constexpr ub2 SQLT_RID = 11;    // ROWID (release-7 code)
inline constexpr ub2 SQLT_DAT = 12;    // DATE
inline constexpr ub2 SQLT_BIN = 23;    // RAW
inline constexpr ub2 SQLT_LBI = 24;    // LONG RAW
inline constexpr ub2 SQLT_AFC = 96;    // CHAR
inline constexpr ub2 SQLT_RDD = 104;   // ROWID as described by OCI 8 and later
inline constexpr ub2 SQLT_CLOB = 112;  // CLOB
inline constexpr ub2 SQLT_BLOB = 113;  // BLOB

// Piece codes of a define callback.
inline constexpr ub1 OCI_ONE_PIECE = 0;
inline constexpr ub1 OCI_FIRST_PIECE = 1;
inline constexpr ub1 OCI_NEXT_PIECE = 2;
inline constexpr ub1 OCI_LAST_PIECE = 3;

// The callback of a dynamic define: gives the library the buffer for the next piece of
// iteration `iter` (*bufpp, *alenpp in/out, *indpp, *rcodep) and returns OCI_CONTINUE.
using OCICallbackDefine = sb4 (*)(void* octxp, OCIDefine* defnp, ub4 iter, void** bufpp,
                                  ub4** alenpp, ub1* piecep, void** indpp, ub2** rcodep);

// The functions, one pointer type each.
using OCIEnvNlsCreateFn = sword (*)(OCIEnv** envhpp, ub4 mode, void* ctxp,
                                    void* (*malocfp)(void*, std::size_t),
                                    void* (*ralocfp)(void*, void*, std::size_t),
                                    void (*mfreefp)(void*, void*), std::size_t xtramemsz,
                                    void** usrmempp, ub2 charset, ub2 ncharset);
using OCIHandleAllocFn = sword (*)(const void* parenth, void** hndlpp, ub4 type,
                                   std::size_t xtramem_sz, void** usrmempp);
using OCIHandleFreeFn = sword (*)(void* hndlp, ub4 type);
using OCIDescriptorFreeFn = sword (*)(void* descp, ub4 type);
using OCILogon2Fn = sword (*)(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp,
                              const OraText* username, ub4 uname_len, const OraText* password,
                              ub4 passwd_len, const OraText* dbname, ub4 dbname_len, ub4 mode);
using OCILogoffFn = sword (*)(OCISvcCtx* svchp, OCIError* errhp);
using OCIStmtPrepare2Fn = sword (*)(OCISvcCtx* svchp, OCIStmt** stmthp, OCIError* errhp,
                                    const OraText* stmttext, ub4 stmt_len, const OraText* key,
                                    ub4 keylen, ub4 language, ub4 mode);
using OCIStmtReleaseFn = sword (*)(OCIStmt* stmthp, OCIError* errhp, const OraText* key, ub4 keylen,
                                   ub4 mode);
using OCIStmtExecuteFn = sword (*)(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                   ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                                   ub4 mode);
using OCIStmtFetch2Fn = sword (*)(OCIStmt* stmthp, OCIError* errhp, ub4 nrows, ub2 orientation,
                                  sb4 fetch_offset, ub4 mode);
using OCIParamGetFn = sword (*)(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp,
                                ub4 pos);
using OCIAttrGetFn = sword (*)(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                               ub4 attrtype, OCIError* errhp);
using OCIAttrSetFn = sword (*)(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                               ub4 attrtype, OCIError* errhp);
using OCIDefineByPosFn = sword (*)(OCIStmt* stmtp, OCIDefine** defnpp, OCIError* errhp,
                                   ub4 position, void* valuep, sb4 value_sz, ub2 dty, void* indp,
                                   ub2* rlenp, ub2* rcodep, ub4 mode);
using OCIBindByNameFn = sword (*)(OCIStmt* stmtp, OCIBind** bindpp, OCIError* errhp,
                                  const OraText* placeholder, sb4 placeh_len, void* valuep,
                                  sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                                  ub4 maxarr_len, ub4* curelep, ub4 mode);
using OCIDefineDynamicFn = sword (*)(OCIDefine* defnp, OCIError* errhp, void* octxp,
                                     OCICallbackDefine ocbfp);
using OCIErrorGetFn = sword (*)(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                                OraText* bufp, ub4 bufsiz, ub4 type);
using OCITransCommitFn = sword (*)(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCITransRollbackFn = sword (*)(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCIClientVersionFn = void (*)(sword* major_version, sword* minor_version, sword* update_num,
                                    sword* patch_num, sword* port_update_num);

// Every entry point the backend calls. A table is complete when every pointer is set.
struct OciApi {
  OCIEnvNlsCreateFn env_nls_create = nullptr;
  OCIHandleAllocFn handle_alloc = nullptr;
  OCIHandleFreeFn handle_free = nullptr;
  OCIDescriptorFreeFn descriptor_free = nullptr;
  OCILogon2Fn logon2 = nullptr;
  OCILogoffFn logoff = nullptr;
  OCIStmtPrepare2Fn stmt_prepare2 = nullptr;
  OCIStmtReleaseFn stmt_release = nullptr;
  OCIStmtExecuteFn stmt_execute = nullptr;
  OCIStmtFetch2Fn stmt_fetch2 = nullptr;
  OCIParamGetFn param_get = nullptr;
  OCIAttrGetFn attr_get = nullptr;
  OCIAttrSetFn attr_set = nullptr;
  OCIDefineByPosFn define_by_pos = nullptr;
  OCIDefineDynamicFn define_dynamic = nullptr;
  OCIBindByNameFn bind_by_name = nullptr;
  OCIErrorGetFn error_get = nullptr;
  OCITransCommitFn trans_commit = nullptr;
  OCITransRollbackFn trans_rollback = nullptr;
  OCIClientVersionFn client_version = nullptr;
};

}  // namespace volmek::db::oci
