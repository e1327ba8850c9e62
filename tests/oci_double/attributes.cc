// OCIAttrGet and OCIAttrSet of the double: the attributes of environments, statements and
// select-list parameters, each written with the size the Guide gives it. An attribute the
// double does not know is ORA-24315, as for an attribute a handle type does not have.
#include <cstring>

#include "oci_double/handles.h"

namespace volmek::ocidouble {
namespace {

template <typename T>
sword Put(void* attributep, T value) {
  std::memcpy(attributep, &value, sizeof value);
  return OCI_SUCCESS;
}

sword Illegal(OCIError* err) {
  if (err != nullptr) SetError(err, 24315, "illegal attribute type");
  return OCI_ERROR;
}

// The describe of one select-list item, as the Guide's "Describing Select-List Items" gives it:
//   - OCI_ATTR_DATA_TYPE is the internal type code; a ROWID is SQLT_RDD (104);
//   - OCI_ATTR_PRECISION (sb2 for an implicit describe) and OCI_ATTR_SCALE (sb1): "if the
//     precision is nonzero and scale is -127, then it is a FLOAT"; a NUMBER without precision
//     (a column declared NUMBER, a computed number) has precision 0 and scale -127;
//   - OCI_ATTR_DATA_SIZE (ub2) is 22 for NUMBER, 7 for DATE, the size in bytes of characters;
//   - OCI_ATTR_CHAR_SIZE (ub2) is the length in characters of a character column, 0 otherwise;
//   - OCI_ATTR_NAME is a pointer to the name, not NUL-terminated, its length in bytes in
//     *sizep; the name stays valid as long as the descriptor.
sword ParamAttribute(OCIParam* param, void* attributep, ub4* sizep, ub4 attrtype, OCIError* err) {
  const db::ColumnDescription& column = param->column;
  bool number = column.db_type == db::kTypeNumber;
  bool character = column.db_type == db::kTypeVarchar2 || column.db_type == db::kTypeChar;
  switch (attrtype) {
    case OCI_ATTR_DATA_TYPE:
      return Put<ub2>(attributep, column.db_type == db::kTypeRowid
                                      ? SQLT_RDD
                                      : static_cast<ub2>(column.db_type));
    case OCI_ATTR_DATA_SIZE:
      return Put<ub2>(attributep, static_cast<ub2>(column.db_size));
    case OCI_ATTR_DISP_SIZE:
      return Put<ub2>(attributep, static_cast<ub2>(column.display_size));
    case OCI_ATTR_PRECISION:
      return Put<sb2>(attributep, number ? column.precision : 0);
    case OCI_ATTR_SCALE: {
      sb1 scale = 0;
      if (number) {
        scale = column.precision == 0 ? -127 : static_cast<sb1>(column.scale);
      }
      return Put<sb1>(attributep, scale);
    }
    case OCI_ATTR_IS_NULL:
      return Put<ub1>(attributep, column.nulls_allowed != 0 ? 1 : 0);
    case OCI_ATTR_CHAR_SIZE:
      return Put<ub2>(attributep, character ? static_cast<ub2>(column.db_size) : 0);
    case OCI_ATTR_CHAR_USED:
      return Put<ub1>(attributep, 0);  // byte length semantics
    case OCI_ATTR_CHARSET_FORM:
      return Put<ub1>(attributep,
                      character || column.db_type == db::kTypeLong ? SQLCS_IMPLICIT : 0);
    case OCI_ATTR_NAME: {
      const char* name = column.name.c_str();
      std::memcpy(attributep, &name, sizeof name);
      if (sizep != nullptr) *sizep = static_cast<ub4>(column.name.size());
      return OCI_SUCCESS;
    }
    default:
      return Illegal(err);
  }
}

// OCI_ATTR_ROW_COUNT (ub4) and OCI_ATTR_UB8_ROW_COUNT (ub8): the rows a DML statement
// processed, or the rows fetched so far from a query. OCI_ATTR_ROWS_FETCHED (ub4): the rows of
// the last fetch call. OCI_ATTR_SQLFNCODE (ub2): the SQL function code, known after execution.
// OCI_ATTR_PARAM_COUNT (ub4): the select-list items, once described.
sword StatementAttribute(OCIStmt* stmt, void* attributep, ub4 attrtype, OCIError* err) {
  switch (attrtype) {
    case OCI_ATTR_STMT_TYPE:
      return Put<ub2>(attributep, stmt->stmt_type);
    case OCI_ATTR_PARAM_COUNT:
      return Put<ub4>(attributep, static_cast<ub4>(stmt->described ? stmt->columns.size() : 0));
    case OCI_ATTR_ROW_COUNT:
      return Put<ub4>(attributep, static_cast<ub4>(stmt->row_count));
    case OCI_ATTR_UB8_ROW_COUNT:
      return Put<ub8>(attributep, stmt->row_count);
    case OCI_ATTR_ROWS_FETCHED:
      return Put<ub4>(attributep, stmt->rows_fetched);
    case OCI_ATTR_SQLFNCODE:
      return Put<ub2>(attributep, stmt->sqlfncode);
    default:
      return Illegal(err);
  }
}

}  // namespace
}  // namespace volmek::ocidouble

using namespace volmek::ocidouble;

VOLMEK_OCI_EXPORT sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep,
                                   ub4* sizep, ub4 attrtype, OCIError* errhp) {
  Handle* target = CheckHandle(trgthndlp, trghndltyp);
  OCIError* err = errhp == nullptr ? nullptr : As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (target == nullptr || attributep == nullptr || (errhp != nullptr && err == nullptr)) {
    return OCI_INVALID_HANDLE;
  }
  if (err != nullptr) err->records.clear();
  switch (trghndltyp) {
    case OCI_DTYPE_PARAM:
      return ParamAttribute(static_cast<OCIParam*>(target), attributep, sizep, attrtype, err);
    case OCI_HTYPE_STMT:
      return StatementAttribute(static_cast<OCIStmt*>(target), attributep, attrtype, err);
    case OCI_HTYPE_ENV: {
      auto* env = static_cast<OCIEnv*>(target);
      if (attrtype == OCI_ATTR_ENV_CHARSET_ID) return Put<ub2>(attributep, env->charset_id);
      if (attrtype == OCI_ATTR_ENV_NCHARSET_ID) return Put<ub2>(attributep, env->ncharset_id);
      return Illegal(err);
    }
    default:
      return Illegal(err);
  }
}

// The prefetch settings of a statement are accepted and have no effect: the double reads every
// row from the engine when it is fetched.
VOLMEK_OCI_EXPORT sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 /*size*/,
                                   ub4 attrtype, OCIError* errhp) {
  Handle* target = CheckHandle(trgthndlp, trghndltyp);
  OCIError* err = errhp == nullptr ? nullptr : As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (target == nullptr || (errhp != nullptr && err == nullptr)) return OCI_INVALID_HANDLE;
  if (err != nullptr) err->records.clear();
  if (trghndltyp == OCI_HTYPE_STMT && attributep != nullptr &&
      (attrtype == OCI_ATTR_PREFETCH_ROWS || attrtype == OCI_ATTR_PREFETCH_MEMORY)) {
    return OCI_SUCCESS;
  }
  return Illegal(err);
}
