#include "engine/catalog/dictionary.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {
namespace {

// DATA_LENGTH of vk_columns c: in bytes, four a character for character semantics (AL32UTF8)
// within the type's limit.
constexpr std::string_view kDataLength =
    "CASE WHEN c.char_used = 'C' THEN min(c.data_length * 4, CASE c.data_type WHEN 'CHAR' THEN "
    "2000 ELSE 4000 END) ELSE c.data_length END";

// One column of a dictionary view: name and type in Oracle's terms.
struct ViewColumn {
  std::string_view name;
  char kind;  // 'V' VARCHAR2, 'N' NUMBER, 'D' DATE, 'L' LONG
  int length;
};

struct DictionaryView {
  std::string_view name;
  std::string_view physical;
  std::vector<ViewColumn> columns;
  // The SELECT over the catalogue, one expression per column in order; {user} is the user,
  // {data_length} the DATA_LENGTH of a vk_columns row c.
  std::string_view select;
};

const std::vector<DictionaryView>& Views() {
  static const std::vector<DictionaryView> kViews = {
      {"ALL_OBJECTS",
       "vk_d_all_objects",
       {{"OWNER", 'V', 30},
        {"OBJECT_NAME", 'V', 30},
        {"SUBOBJECT_NAME", 'V', 30},
        {"OBJECT_ID", 'N', 22},
        {"DATA_OBJECT_ID", 'N', 22},
        {"OBJECT_TYPE", 'V', 19},
        {"CREATED", 'D', 7},
        {"LAST_DDL_TIME", 'D', 7},
        {"TIMESTAMP", 'V', 19},
        {"STATUS", 'V', 7},
        {"TEMPORARY", 'V', 1},
        {"GENERATED", 'V', 1},
        {"SECONDARY", 'V', 1}},
       "SELECT owner, name, NULL, object_id, CASE WHEN object_type IN ('TABLE','INDEX') THEN "
       "object_id END, object_type, created, last_ddl_time, replace(last_ddl_time, ' ', ':'), "
       "coalesce((SELECT c.status FROM vk_code c WHERE c.object_id = vk_objects.object_id), "
       "(SELECT 'INVALID' FROM vk_invalid_views i WHERE i.object_id = vk_objects.object_id), "
       "'VALID'), 'N', generated, 'N' FROM vk_objects"},
      {"ALL_SOURCE",
       "vk_d_all_source",
       {{"OWNER", 'V', 30},
        {"NAME", 'V', 30},
        {"TYPE", 'V', 12},
        {"LINE", 'N', 22},
        {"TEXT", 'V', 4000}},
       "SELECT o.owner, o.name, o.object_type, s.line, s.text FROM vk_objects o JOIN vk_source s "
       "USING(object_id)"},
      {"ALL_ERRORS",
       "vk_d_all_errors",
       {{"OWNER", 'V', 30},
        {"NAME", 'V', 30},
        {"TYPE", 'V', 12},
        {"SEQUENCE", 'N', 22},
        {"LINE", 'N', 22},
        {"POSITION", 'N', 22},
        {"TEXT", 'V', 4000},
        {"ATTRIBUTE", 'V', 9},
        {"MESSAGE_NUMBER", 'N', 22}},
       "SELECT o.owner, o.name, o.object_type, e.sequence, e.line, e.position, e.text, "
       "e.attribute, e.message_number FROM vk_objects o JOIN vk_errors e USING(object_id)"},
      {"USER_CATALOG",
       "vk_d_user_catalog",
       {{"TABLE_NAME", 'V', 30}, {"TABLE_TYPE", 'V', 11}},
       "SELECT name, object_type FROM vk_objects WHERE owner = {user} AND namespace = 1"},
      {"ALL_TABLES",
       "vk_d_all_tables",
       {{"OWNER", 'V', 30},           {"TABLE_NAME", 'V', 30},   {"TABLESPACE_NAME", 'V', 30},
        {"CLUSTER_NAME", 'V', 30},    {"IOT_NAME", 'V', 30},     {"PCT_FREE", 'N', 22},
        {"PCT_USED", 'N', 22},        {"INI_TRANS", 'N', 22},    {"MAX_TRANS", 'N', 22},
        {"INITIAL_EXTENT", 'N', 22},  {"NEXT_EXTENT", 'N', 22},  {"MIN_EXTENTS", 'N', 22},
        {"MAX_EXTENTS", 'N', 22},     {"PCT_INCREASE", 'N', 22}, {"FREELISTS", 'N', 22},
        {"FREELIST_GROUPS", 'N', 22}, {"LOGGING", 'V', 3},       {"BACKED_UP", 'V', 1},
        {"NUM_ROWS", 'N', 22},        {"BLOCKS", 'N', 22},       {"EMPTY_BLOCKS", 'N', 22},
        {"AVG_SPACE", 'N', 22},       {"CHAIN_CNT", 'N', 22},    {"AVG_ROW_LEN", 'N', 22},
        {"SAMPLE_SIZE", 'N', 22},     {"LAST_ANALYZED", 'D', 7}, {"TEMPORARY", 'V', 1}},
       "SELECT o.owner, o.name, t.tablespace_name, NULL, NULL, coalesce(t.pct_free, 10), "
       "coalesce(t.pct_used, 40), coalesce(t.ini_trans, 1), coalesce(t.max_trans, 255), "
       "coalesce(t.initial_extent, 65536), t.next_extent, coalesce(t.min_extents, 1), "
       "coalesce(t.max_extents, 2147483645), t.pct_increase, 1, 1, 'YES', 'N', t.num_rows, "
       "t.blocks, CASE WHEN t.num_rows IS NOT NULL THEN 0 END, CASE WHEN t.num_rows IS NOT "
       "NULL THEN 0 END, CASE WHEN t.num_rows IS NOT NULL THEN 0 END, t.avg_row_len, "
       "t.num_rows, t.last_analyzed, 'N' FROM vk_objects o JOIN vk_tables t USING(object_id)"},
      {"USER_TAB_COLUMNS",
       "vk_d_user_tab_columns",
       {{"TABLE_NAME", 'V', 30},
        {"COLUMN_NAME", 'V', 30},
        {"DATA_TYPE", 'V', 106},
        {"DATA_TYPE_MOD", 'V', 3},
        {"DATA_TYPE_OWNER", 'V', 30},
        {"DATA_LENGTH", 'N', 22},
        {"DATA_PRECISION", 'N', 22},
        {"DATA_SCALE", 'N', 22},
        {"NULLABLE", 'V', 1},
        {"COLUMN_ID", 'N', 22},
        {"DEFAULT_LENGTH", 'N', 22},
        {"DATA_DEFAULT", 'L', 0},
        {"NUM_DISTINCT", 'N', 22},
        {"NUM_NULLS", 'N', 22},
        {"LAST_ANALYZED", 'D', 7},
        {"CHAR_LENGTH", 'N', 22},
        {"CHAR_USED", 'V', 1}},
       "SELECT o.name, c.column_name, c.data_type, NULL, NULL, {data_length}, "
       "c.data_precision, c.data_scale, c.nullable, c.column_id, length(c.data_default), "
       "c.data_default, NULL, NULL, NULL, CASE WHEN c.data_type IN ('CHAR','VARCHAR2') THEN "
       "c.data_length ELSE 0 END, CASE WHEN c.data_type IN ('CHAR','VARCHAR2') THEN "
       "coalesce(c.char_used, 'B') END FROM vk_objects o JOIN vk_columns c USING(object_id) "
       "WHERE o.owner = {user}"},
      {"ALL_TAB_COLUMNS",
       "vk_d_all_tab_columns",
       {{"OWNER", 'V', 30},
        {"TABLE_NAME", 'V', 30},
        {"COLUMN_NAME", 'V', 30},
        {"DATA_TYPE", 'V', 106},
        {"DATA_LENGTH", 'N', 22},
        {"DATA_PRECISION", 'N', 22},
        {"DATA_SCALE", 'N', 22},
        {"NULLABLE", 'V', 1},
        {"COLUMN_ID", 'N', 22},
        {"CHAR_LENGTH", 'N', 22},
        {"CHAR_USED", 'V', 1}},
       "SELECT o.owner, o.name, c.column_name, c.data_type, {data_length}, c.data_precision, "
       "c.data_scale, c.nullable, c.column_id, CASE WHEN c.data_type IN ('CHAR','VARCHAR2') "
       "THEN c.data_length ELSE 0 END, CASE WHEN c.data_type IN ('CHAR','VARCHAR2') THEN "
       "coalesce(c.char_used, 'B') END FROM vk_objects o JOIN vk_columns c USING(object_id)"},
      {"ALL_INDEXES",
       "vk_d_all_indexes",
       {{"OWNER", 'V', 30},         {"INDEX_NAME", 'V', 30},      {"INDEX_TYPE", 'V', 27},
        {"TABLE_OWNER", 'V', 30},   {"TABLE_NAME", 'V', 30},      {"TABLE_TYPE", 'V', 11},
        {"UNIQUENESS", 'V', 9},     {"TABLESPACE_NAME", 'V', 30}, {"INI_TRANS", 'N', 22},
        {"MAX_TRANS", 'N', 22},     {"INITIAL_EXTENT", 'N', 22},  {"NEXT_EXTENT", 'N', 22},
        {"MIN_EXTENTS", 'N', 22},   {"MAX_EXTENTS", 'N', 22},     {"PCT_INCREASE", 'N', 22},
        {"PCT_FREE", 'N', 22},      {"STATUS", 'V', 8},           {"NUM_ROWS", 'N', 22},
        {"DISTINCT_KEYS", 'N', 22}, {"LAST_ANALYZED", 'D', 7},    {"GENERATED", 'V', 1}},
       "SELECT o.owner, o.name, 'NORMAL', t.owner, t.name, 'TABLE', i.uniqueness, "
       "i.tablespace_name, coalesce(i.ini_trans, 2), coalesce(i.max_trans, 255), "
       "coalesce(i.initial_extent, 65536), i.next_extent, coalesce(i.min_extents, 1), "
       "coalesce(i.max_extents, 2147483645), i.pct_increase, coalesce(i.pct_free, 10), "
       "'VALID', i.num_rows, i.distinct_keys, i.last_analyzed, o.generated FROM vk_indexes i "
       "JOIN vk_objects o ON o.object_id = i.object_id JOIN vk_objects t ON t.object_id = "
       "i.table_object_id"},
      {"ALL_IND_COLUMNS",
       "vk_d_all_ind_columns",
       {{"INDEX_OWNER", 'V', 30},
        {"INDEX_NAME", 'V', 30},
        {"TABLE_OWNER", 'V', 30},
        {"TABLE_NAME", 'V', 30},
        {"COLUMN_NAME", 'V', 4000},
        {"COLUMN_POSITION", 'N', 22},
        {"COLUMN_LENGTH", 'N', 22},
        {"CHAR_LENGTH", 'N', 22},
        {"DESCEND", 'V', 4}},
       "SELECT o.owner, o.name, t.owner, t.name, ic.column_name, ic.column_position, "
       "coalesce((SELECT {data_length} FROM vk_columns c WHERE c.object_id = t.object_id AND "
       "c.column_name = ic.column_name), 0), coalesce((SELECT CASE WHEN c.data_type IN "
       "('CHAR','VARCHAR2') THEN c.data_length ELSE 0 END FROM vk_columns c WHERE c.object_id "
       "= t.object_id AND c.column_name = ic.column_name), 0), ic.descend FROM vk_ind_columns "
       "ic JOIN vk_indexes i ON i.object_id = ic.index_object_id JOIN vk_objects o ON "
       "o.object_id = i.object_id JOIN vk_objects t ON t.object_id = i.table_object_id"},
      {"ALL_SEQUENCES",
       "vk_d_all_sequences",
       {{"SEQUENCE_OWNER", 'V', 30},
        {"SEQUENCE_NAME", 'V', 30},
        {"MIN_VALUE", 'N', 22},
        {"MAX_VALUE", 'N', 22},
        {"INCREMENT_BY", 'N', 22},
        {"CYCLE_FLAG", 'V', 1},
        {"ORDER_FLAG", 'V', 1},
        {"CACHE_SIZE", 'N', 22},
        {"LAST_NUMBER", 'N', 22}},
       "SELECT o.owner, o.name, s.min_value, s.max_value, s.increment_by, s.cycle_flag, "
       "s.order_flag, s.cache_size, s.last_number FROM vk_objects o JOIN vk_sequences s "
       "USING(object_id)"},
      {"ALL_VIEWS",
       "vk_d_all_views",
       {{"OWNER", 'V', 30}, {"VIEW_NAME", 'V', 30}, {"TEXT_LENGTH", 'N', 22}, {"TEXT", 'L', 0}},
       "SELECT o.owner, o.name, length(v.text), v.text FROM vk_objects o JOIN vk_views v "
       "USING(object_id)"},
      // The bytes each table and index takes in the database file: SQLite pages of its
      // b-tree (a key kept inside its table's b-tree takes none of its own), one extent.
      {"USER_SEGMENTS",
       "vk_d_user_segments",
       {{"SEGMENT_NAME", 'V', 81},
        {"PARTITION_NAME", 'V', 30},
        {"SEGMENT_TYPE", 'V', 18},
        {"TABLESPACE_NAME", 'V', 30},
        {"BYTES", 'N', 22},
        {"BLOCKS", 'N', 22},
        {"EXTENTS", 'N', 22},
        {"INITIAL_EXTENT", 'N', 22},
        {"NEXT_EXTENT", 'N', 22},
        {"MIN_EXTENTS", 'N', 22},
        {"MAX_EXTENTS", 'N', 22}},
       "SELECT o.name, NULL, o.object_type, coalesce(t.tablespace_name, i.tablespace_name, "
       "'USERS'), coalesce(p.bytes, 0), coalesce(p.pages, 0), 1, coalesce(t.initial_extent, "
       "i.initial_extent, 65536), coalesce(t.next_extent, i.next_extent), 1, 2147483645 FROM "
       "vk_objects o LEFT JOIN vk_tables t ON t.object_id = o.object_id LEFT JOIN vk_indexes i "
       "ON i.object_id = o.object_id LEFT JOIN (SELECT name AS physical, sum(pgsize) AS bytes, "
       "count(*) AS pages FROM dbstat('main') GROUP BY name) p ON p.physical = CASE "
       "o.object_type WHEN 'TABLE' THEN 't' ELSE 'i' END || o.object_id WHERE o.owner = {user} "
       "AND o.object_type IN ('TABLE', 'INDEX')"},
      // CHECK and FOREIGN KEY constraints (vk_constraints), then the keys kept as indexes.
      {"ALL_CONSTRAINTS",
       "vk_d_all_constraints",
       {{"OWNER", 'V', 30},
        {"CONSTRAINT_NAME", 'V', 30},
        {"CONSTRAINT_TYPE", 'V', 1},
        {"TABLE_NAME", 'V', 30},
        {"SEARCH_CONDITION", 'L', 0},
        {"R_OWNER", 'V', 30},
        {"R_CONSTRAINT_NAME", 'V', 30},
        {"DELETE_RULE", 'V', 9},
        {"STATUS", 'V', 8},
        {"DEFERRABLE", 'V', 14},
        {"DEFERRED", 'V', 9},
        {"VALIDATED", 'V', 13},
        {"GENERATED", 'V', 14},
        {"INDEX_OWNER", 'V', 30},
        {"INDEX_NAME", 'V', 30}},
       "SELECT k.owner, k.name, k.constraint_type, t.name, k.search_condition, k.r_owner, "
       "k.r_constraint_name, k.delete_rule, k.status, 'NOT DEFERRABLE', 'IMMEDIATE', CASE "
       "k.status WHEN 'ENABLED' THEN 'VALIDATED' ELSE 'NOT VALIDATED' END, k.generated, NULL, "
       "NULL FROM vk_constraints k JOIN vk_objects t ON t.object_id = k.table_object_id UNION "
       "ALL SELECT o.owner, o.name, i.constraint_type, t.name, NULL, NULL, NULL, NULL, "
       "'ENABLED', 'NOT DEFERRABLE', 'IMMEDIATE', 'VALIDATED', CASE o.generated WHEN 'Y' THEN "
       "'GENERATED NAME' ELSE 'USER NAME' END, o.owner, o.name FROM vk_indexes i JOIN "
       "vk_objects o ON o.object_id = i.object_id JOIN vk_objects t ON t.object_id = "
       "i.table_object_id WHERE i.constraint_type <> ''"},
      {"ALL_CONS_COLUMNS",
       "vk_d_all_cons_columns",
       {{"OWNER", 'V', 30},
        {"CONSTRAINT_NAME", 'V', 30},
        {"TABLE_NAME", 'V', 30},
        {"COLUMN_NAME", 'V', 4000},
        {"POSITION", 'N', 22}},
       "SELECT k.owner, k.name, t.name, c.column_name, CASE k.constraint_type WHEN 'R' THEN "
       "c.position END FROM vk_constraints k JOIN vk_cons_columns c ON c.constraint_id = k.id "
       "JOIN vk_objects t ON t.object_id = k.table_object_id UNION ALL SELECT o.owner, o.name, "
       "t.name, ic.column_name, ic.column_position FROM vk_indexes i JOIN vk_objects o ON "
       "o.object_id = i.object_id JOIN vk_objects t ON t.object_id = i.table_object_id JOIN "
       "vk_ind_columns ic ON ic.index_object_id = i.object_id WHERE i.constraint_type <> ''"},
      // Every table and view, and every column of them, with its comment or NULL.
      {"ALL_TAB_COMMENTS",
       "vk_d_all_tab_comments",
       {{"OWNER", 'V', 30},
        {"TABLE_NAME", 'V', 30},
        {"TABLE_TYPE", 'V', 11},
        {"COMMENTS", 'V', 4000}},
       "SELECT o.owner, o.name, o.object_type, c.comments FROM vk_objects o LEFT JOIN "
       "vk_comments c ON c.object_id = o.object_id AND c.column_name = '' WHERE o.object_type "
       "IN ('TABLE', 'VIEW')"},
      {"ALL_COL_COMMENTS",
       "vk_d_all_col_comments",
       {{"OWNER", 'V', 30},
        {"TABLE_NAME", 'V', 30},
        {"COLUMN_NAME", 'V', 30},
        {"COMMENTS", 'V', 4000}},
       "SELECT o.owner, o.name, k.column_name, c.comments FROM vk_objects o JOIN vk_columns k "
       "ON k.object_id = o.object_id LEFT JOIN vk_comments c ON c.object_id = o.object_id AND "
       "c.column_name = k.column_name"},
      {"ALL_SYNONYMS",
       "vk_d_all_synonyms",
       {{"OWNER", 'V', 30},
        {"SYNONYM_NAME", 'V', 30},
        {"TABLE_OWNER", 'V', 30},
        {"TABLE_NAME", 'V', 30},
        {"DB_LINK", 'V', 128}},
       "SELECT o.owner, o.name, s.table_owner, s.table_name, NULL FROM vk_objects o JOIN "
       "vk_synonyms s ON s.object_id = o.object_id"},
      // The old catalogue view of SQL*Plus scripts: tables, views and synonyms, no sequences.
      {"TAB",
       "vk_d_tab",
       {{"TNAME", 'V', 30}, {"TABTYPE", 'V', 7}, {"CLUSTERID", 'N', 22}},
       "SELECT name, object_type, NULL FROM vk_objects WHERE owner = {user} AND object_type IN "
       "('TABLE', 'VIEW', 'SYNONYM')"},
      // The database is its file; its name is the file's name, as DB_NAME of USERENV gives it.
      {"GLOBAL_NAME",
       "vk_d_global_name",
       {{"GLOBAL_NAME", 'V', 4000}},
       "VALUES (upper(sys_context('USERENV', 'DB_NAME')))"},
      {"V$DATABASE",
       "vk_d_v_database",
       {{"NAME", 'V', 30},
        {"LOG_MODE", 'V', 12},
        {"OPEN_MODE", 'V', 20},
        {"DATABASE_ROLE", 'V', 16},
        {"PLATFORM_NAME", 'V', 101}},
       "VALUES (upper(sys_context('USERENV', 'DB_NAME')), 'NOARCHIVELOG', 'READ WRITE', "
       "'PRIMARY', 'Linux x86 64-bit')"},
      {"V$INSTANCE",
       "vk_d_v_instance",
       {{"INSTANCE_NUMBER", 'N', 22},
        {"INSTANCE_NAME", 'V', 30},
        {"HOST_NAME", 'V', 64},
        {"STATUS", 'V', 12},
        {"DATABASE_STATUS", 'V', 17}},
       "VALUES (1, sys_context('USERENV', 'INSTANCE_NAME'), sys_context('USERENV', "
       "'SERVER_HOST'), 'OPEN', 'ACTIVE')"},
      {"V$VERSION",
       "vk_d_v_version",
       {{"BANNER", 'V', 80}},
       "VALUES ('volmek embedded database (Oracle dialect) over SQLite ' || sqlite_version())"},
      {"DBA_USERS",
       "vk_d_dba_users",
       {{"USERNAME", 'V', 30},
        {"USER_ID", 'N', 22},
        {"ACCOUNT_STATUS", 'V', 32},
        {"LOCK_DATE", 'D', 7},
        {"EXPIRY_DATE", 'D', 7},
        {"DEFAULT_TABLESPACE", 'V', 30},
        {"TEMPORARY_TABLESPACE", 'V', 30},
        {"CREATED", 'D', 7}},
       "SELECT name, user_id, 'OPEN', NULL, NULL, default_tablespace, 'TEMP', created FROM "
       "vk_users"},
      {"ALL_USERS",
       "vk_d_all_users",
       {{"USERNAME", 'V', 30}, {"USER_ID", 'N', 22}, {"CREATED", 'D', 7}},
       "SELECT name, user_id, created FROM vk_users"},
      {"USER_TABLESPACES",
       "vk_d_user_tablespaces",
       {{"TABLESPACE_NAME", 'V', 30}, {"STATUS", 'V', 9}, {"CONTENTS", 'V', 9}},
       "SELECT name, 'ONLINE', 'PERMANENT' FROM vk_tablespaces"},
      // The session's values of the parameters ALTER SESSION sets; the others are fixed.
      {"NLS_SESSION_PARAMETERS",
       "vk_d_nls_session_parameters",
       {{"PARAMETER", 'V', 30}, {"VALUE", 'V', 40}},
       "VALUES ('NLS_LANGUAGE', 'AMERICAN'), ('NLS_TERRITORY', 'AMERICA'), ('NLS_CURRENCY', "
       "'$'), ('NLS_ISO_CURRENCY', 'AMERICA'), ('NLS_NUMERIC_CHARACTERS', '.,'), "
       "('NLS_CALENDAR', 'GREGORIAN'), ('NLS_DATE_FORMAT', vk_nls('NLS_DATE_FORMAT')), "
       "('NLS_DATE_LANGUAGE', 'AMERICAN'), ('NLS_SORT', vk_nls('NLS_SORT')), "
       "('NLS_DUAL_CURRENCY', '$'), ('NLS_COMP', 'BINARY'), ('NLS_LENGTH_SEMANTICS', 'BYTE'), "
       "('NLS_NCHAR_CONV_EXCP', 'FALSE')"},
      {"NLS_DATABASE_PARAMETERS",
       "vk_d_nls_database_parameters",
       {{"PARAMETER", 'V', 30}, {"VALUE", 'V', 40}},
       "VALUES ('NLS_LANGUAGE', 'AMERICAN'), ('NLS_TERRITORY', 'AMERICA'), ('NLS_CURRENCY', "
       "'$'), ('NLS_ISO_CURRENCY', 'AMERICA'), ('NLS_NUMERIC_CHARACTERS', '.,'), "
       "('NLS_CHARACTERSET', 'AL32UTF8'), ('NLS_CALENDAR', 'GREGORIAN'), ('NLS_DATE_FORMAT', "
       "vk_nls('DEFAULT_DATE_FORMAT')), ('NLS_DATE_LANGUAGE', 'AMERICAN'), ('NLS_SORT', "
       "'BINARY'), ('NLS_DUAL_CURRENCY', '$'), ('NLS_COMP', 'BINARY'), "
       "('NLS_LENGTH_SEMANTICS', 'BYTE'), ('NLS_NCHAR_CONV_EXCP', 'FALSE')"},
  };
  return kViews;
}

// USER_INDEXES and USER_IND_COLUMNS are ALL_* without the owner columns, filtered.
struct DerivedView {
  std::string_view name;
  std::string_view physical;
  std::string_view base;
  std::vector<std::string_view> dropped;  // columns of the base not shown
  std::string_view filter;                // owner column of the base
};

const std::vector<DerivedView>& DerivedViews() {
  static const std::vector<DerivedView> kDerived = {
      {"USER_OBJECTS", "vk_d_user_objects", "ALL_OBJECTS", {"OWNER"}, "OWNER"},
      {"USER_TABLES", "vk_d_user_tables", "ALL_TABLES", {"OWNER"}, "OWNER"},
      {"USER_SEQUENCES",
       "vk_d_user_sequences",
       "ALL_SEQUENCES",
       {"SEQUENCE_OWNER"},
       "SEQUENCE_OWNER"},
      {"USER_VIEWS", "vk_d_user_views", "ALL_VIEWS", {"OWNER"}, "OWNER"},
      {"USER_SOURCE", "vk_d_user_source", "ALL_SOURCE", {"OWNER"}, "OWNER"},
      {"USER_ERRORS", "vk_d_user_errors", "ALL_ERRORS", {"OWNER"}, "OWNER"},
      {"USER_INDEXES", "vk_d_user_indexes", "ALL_INDEXES", {"OWNER"}, "OWNER"},
      {"USER_CONSTRAINTS", "vk_d_user_constraints", "ALL_CONSTRAINTS", {}, "OWNER"},
      {"USER_CONS_COLUMNS", "vk_d_user_cons_columns", "ALL_CONS_COLUMNS", {}, "OWNER"},
      {"USER_TAB_COMMENTS", "vk_d_user_tab_comments", "ALL_TAB_COMMENTS", {"OWNER"}, "OWNER"},
      {"USER_COL_COMMENTS", "vk_d_user_col_comments", "ALL_COL_COMMENTS", {"OWNER"}, "OWNER"},
      {"USER_SYNONYMS", "vk_d_user_synonyms", "ALL_SYNONYMS", {"OWNER"}, "OWNER"},
      {"USER_USERS", "vk_d_user_users", "DBA_USERS", {}, "USERNAME"},
      {"USER_IND_COLUMNS",
       "vk_d_user_ind_columns",
       "ALL_IND_COLUMNS",
       {"INDEX_OWNER", "TABLE_OWNER"},
       "INDEX_OWNER"},
  };
  return kDerived;
}

// Every user reaches every schema here (GRANT changes nothing), so the DBA_ views an
// administrator's scripts read are the ALL_ views.
constexpr std::array<std::pair<std::string_view, std::string_view>, 23> kSynonyms = {{
    {"SYN", "USER_SYNONYMS"},
    {"TABS", "USER_TABLES"},
    {"CAT", "USER_CATALOG"},
    {"COLS", "USER_TAB_COLUMNS"},
    {"IND", "USER_INDEXES"},
    {"SEQ", "USER_SEQUENCES"},
    {"OBJ", "USER_OBJECTS"},
    {"DICT", "DICTIONARY"},
    {"DBA_OBJECTS", "ALL_OBJECTS"},
    {"DBA_TABLES", "ALL_TABLES"},
    {"DBA_TAB_COLUMNS", "ALL_TAB_COLUMNS"},
    {"DBA_INDEXES", "ALL_INDEXES"},
    {"DBA_IND_COLUMNS", "ALL_IND_COLUMNS"},
    {"DBA_SEQUENCES", "ALL_SEQUENCES"},
    {"DBA_VIEWS", "ALL_VIEWS"},
    {"DBA_CONSTRAINTS", "ALL_CONSTRAINTS"},
    {"DBA_CONS_COLUMNS", "ALL_CONS_COLUMNS"},
    {"DBA_SOURCE", "ALL_SOURCE"},
    {"DBA_ERRORS", "ALL_ERRORS"},
    {"DBA_SYNONYMS", "ALL_SYNONYMS"},
    {"DBA_TAB_COMMENTS", "ALL_TAB_COMMENTS"},
    {"DBA_COL_COMMENTS", "ALL_COL_COMMENTS"},
    {"DBA_TABLESPACES", "USER_TABLESPACES"},
}};

// DICTIONARY (DICT): every view above and its synonyms, with a line about each.
constexpr std::array<std::pair<std::string_view, std::string_view>, 56> kComments = {{
    {"ALL_COL_COMMENTS", "Comments on columns of accessible tables and views"},
    {"ALL_SYNONYMS", "All synonyms for base objects accessible to the user and session"},
    {"ALL_TAB_COMMENTS", "Comments on tables and views accessible to the user"},
    {"SYN", "Synonym for USER_SYNONYMS"},
    {"USER_COL_COMMENTS", "Comments on columns of user's tables and views"},
    {"USER_SYNONYMS", "The user's private synonyms"},
    {"USER_TAB_COMMENTS", "Comments on the tables and views owned by the user"},
    {"USER_CONSTRAINTS", "Constraint definitions on user's own tables"},
    {"USER_CONS_COLUMNS", "Information about accessible columns in constraint definitions"},
    {"ALL_INDEXES", "Descriptions of indexes on tables accessible to the user"},
    {"ALL_IND_COLUMNS", "COLUMNs comprising INDEXes on accessible TABLES"},
    {"ALL_ERRORS", "Current errors on stored objects that user is allowed to create"},
    {"ALL_OBJECTS", "Objects accessible to the user"},
    {"ALL_SEQUENCES", "Description of SEQUENCEs accessible to the user"},
    {"ALL_SOURCE", "Current source on stored objects that user is allowed to create"},
    {"ALL_TABLES", "Description of relational tables accessible to the user"},
    {"ALL_TAB_COLUMNS", "Columns of user's tables, views and clusters"},
    {"ALL_USERS", "Information about all users of the database"},
    {"ALL_VIEWS", "Description of views accessible to the user"},
    {"CAT", "Synonym for USER_CATALOG"},
    {"COLS", "Synonym for USER_TAB_COLUMNS"},
    {"DICT", "Synonym for DICTIONARY"},
    {"DICTIONARY", "Description of data dictionary tables and views"},
    {"IND", "Synonym for USER_INDEXES"},
    {"NLS_DATABASE_PARAMETERS", "Permanent NLS parameters of the database"},
    {"NLS_SESSION_PARAMETERS", "NLS parameters of the user session"},
    {"OBJ", "Synonym for USER_OBJECTS"},
    {"SEQ", "Synonym for USER_SEQUENCES"},
    {"TABS", "Synonym for USER_TABLES"},
    {"USER_CATALOG", "Tables, Views, Synonyms and Sequences owned by the user"},
    {"USER_ERRORS", "Current errors on stored objects owned by the user"},
    {"USER_OBJECTS", "Objects owned by the user"},
    {"USER_SEGMENTS", "Storage allocated for all database segments"},
    {"USER_SOURCE", "Source of stored objects accessible to the user"},
    {"USER_TABLES", "Description of the user's own relational tables"},
    {"USER_TAB_COLUMNS", "Columns of user's tables, views and clusters"},
    {"DBA_COL_COMMENTS", "Comments on columns of all tables and views"},
    {"DBA_CONSTRAINTS", "Constraint definitions on all tables"},
    {"DBA_CONS_COLUMNS", "Information about accessible columns in constraint definitions"},
    {"DBA_ERRORS", "Current errors on all stored objects in the database"},
    {"DBA_INDEXES", "Description for all indexes in the database"},
    {"DBA_IND_COLUMNS", "COLUMNs comprising INDEXes on all TABLEs and CLUSTERs"},
    {"DBA_OBJECTS", "All objects in the database"},
    {"DBA_SEQUENCES", "Description of all SEQUENCEs in the database"},
    {"DBA_SOURCE", "Source of all stored objects in the database"},
    {"DBA_SYNONYMS", "All synonyms in the database"},
    {"DBA_TABLES", "Description of all relational tables in the database"},
    {"DBA_TABLESPACES", "Description of all tablespaces"},
    {"DBA_TAB_COLUMNS", "Columns of user's tables, views and clusters"},
    {"DBA_TAB_COMMENTS", "Comments on all tables and views in the database"},
    {"DBA_USERS", "Information about all users of the database"},
    {"DBA_VIEWS", "Description of all views in the database"},
    {"GLOBAL_NAME", "global database name"},
    {"V$DATABASE", "Database information from the control file"},
    {"V$INSTANCE", "State of the current instance"},
    {"V$VERSION", "Version of the database and its components"},
}};

// The VALUES of DICTIONARY: the names FindDictionaryView knows, with their comments.
std::string DictionaryRows() {
  std::vector<std::string_view> names = {"DICTIONARY"};
  for (const DictionaryView& view : Views()) names.push_back(view.name);
  for (const DerivedView& derived : DerivedViews()) names.push_back(derived.name);
  for (const auto& [synonym, target] : kSynonyms) names.push_back(synonym);
  std::sort(names.begin(), names.end());
  std::string rows;
  for (std::string_view name : names) {
    std::string comment = "NULL";
    for (const auto& [commented, text] : kComments) {
      if (commented == name) comment = QuoteLiteral(text);
    }
    rows += fmt::format("{}({}, {})", rows.empty() ? "VALUES " : ", ", QuoteLiteral(name), comment);
  }
  return rows;
}

constexpr std::string_view kDictionaryPhysical = "vk_d_dictionary";
const std::vector<ViewColumn>& DictionaryColumns() {
  static const std::vector<ViewColumn> kColumns = {{"TABLE_NAME", 'V', 30},
                                                   {"COMMENTS", 'V', 4000}};
  return kColumns;
}

SqlType TypeOf(const ViewColumn& column) {
  SqlType type;
  switch (column.kind) {
    case 'N':
      type.kind = TypeKind::kNumber;
      type.length = 22;
      break;
    case 'D':
      type.kind = TypeKind::kDate;
      type.length = 7;
      break;
    case 'L':
      type.kind = TypeKind::kLong;
      type.length = 0;
      break;
    default:
      type.kind = TypeKind::kVarchar2;
      type.length = column.length;
      break;
  }
  return type;
}

std::string ColumnList(const std::vector<ViewColumn>& columns) {
  std::string out;
  for (const ViewColumn& column : columns) {
    if (!out.empty()) out += ", ";
    out += QuoteIdentifier(column.name);
  }
  return out;
}

const DictionaryView* FindBase(std::string_view name) {
  for (const DictionaryView& view : Views()) {
    if (view.name == name) return &view;
  }
  return nullptr;
}

TableInfo InfoOf(std::string_view name, std::string_view physical,
                 const std::vector<ViewColumn>& columns,
                 const std::vector<std::string_view>& dropped = {}) {
  TableInfo info;
  info.owner = "SYS";
  info.name = std::string(name);
  info.physical_name = std::string(physical);
  info.is_view = true;
  for (const ViewColumn& column : columns) {
    if (std::find(dropped.begin(), dropped.end(), column.name) != dropped.end()) continue;
    info.columns.push_back(ColumnInfo{std::string(column.name), TypeOf(column), true});
  }
  return info;
}

// The SELECT of `view` for `user`.
std::string SelectFor(const DictionaryView& view, std::string_view user) {
  std::string user_literal = QuoteLiteral(user);
  std::string select(view.select);
  for (const auto& [placeholder, value] :
       {std::pair<std::string_view, std::string_view>{"{user}", user_literal},
        {"{data_length}", kDataLength}}) {
    std::size_t at = select.find(placeholder);
    while (at != std::string::npos) {
      select.replace(at, placeholder.size(), value);
      at = select.find(placeholder, at + value.size());
    }
  }
  return select;
}

// A view as the text of a subquery the translator puts where a table name goes: the SELECT in
// a WITH that names its columns. Written into each statement that reads it rather than made a
// TEMP view at logon, which cost every run a few milliseconds for views most runs never read,
// and which a view of the user's own could not have used.
std::string Inline(std::string_view physical, const std::vector<ViewColumn>& columns,
                   std::string_view select, std::string_view outer) {
  return fmt::format("(WITH {}({}) AS ({}) {})", physical, ColumnList(columns), select, outer);
}

}  // namespace

std::optional<TableInfo> FindDictionaryView(std::string_view name, std::string_view user) {
  for (const auto& [synonym, target] : kSynonyms) {
    if (name == synonym) {
      name = target;
      break;
    }
  }
  if (name == "DUAL") {
    TableInfo info;
    info.owner = "SYS";
    info.name = "DUAL";
    info.physical_name = "vk_dual";
    info.is_view = false;
    SqlType type;
    type.kind = TypeKind::kVarchar2;
    type.length = 1;
    info.columns.push_back(ColumnInfo{"DUMMY", type, true});
    return info;
  }
  if (name == "DICTIONARY") {
    return InfoOf(name,
                  Inline(kDictionaryPhysical, DictionaryColumns(), DictionaryRows(),
                         fmt::format("SELECT * FROM {}", kDictionaryPhysical)),
                  DictionaryColumns());
  }
  if (const DictionaryView* view = FindBase(name)) {
    return InfoOf(view->name,
                  Inline(view->physical, view->columns, SelectFor(*view, user),
                         fmt::format("SELECT * FROM {}", view->physical)),
                  view->columns);
  }
  for (const DerivedView& derived : DerivedViews()) {
    if (derived.name != name) continue;
    const DictionaryView* base = FindBase(derived.base);
    std::vector<ViewColumn> kept;
    for (const ViewColumn& column : base->columns) {
      if (std::find(derived.dropped.begin(), derived.dropped.end(), column.name) ==
          derived.dropped.end()) {
        kept.push_back(column);
      }
    }
    std::string outer =
        fmt::format("SELECT {} FROM {} WHERE {} = {}", ColumnList(kept), base->physical,
                    QuoteIdentifier(derived.filter), QuoteLiteral(user));
    return InfoOf(derived.name,
                  Inline(base->physical, base->columns, SelectFor(*base, user), outer),
                  base->columns, derived.dropped);
  }
  return std::nullopt;
}

OraResult<std::optional<TableInfo>> LoadTableInfo(const Catalog& catalog, const ObjectRef& ref) {
  if (ref.type != ObjectType::kTable && ref.type != ObjectType::kView) {
    return std::optional<TableInfo>();
  }
  TableInfo info;
  info.owner = ref.owner;
  info.name = ref.name;
  info.physical_name = PhysicalName(ref.type, ref.object_id);
  info.is_view = ref.type == ObjectType::kView;
  if (info.is_view) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Catalog::ViewDefinition> view,
                            catalog.View(ref.object_id));
    if (view.has_value()) {
      info.view_text = std::move(view->text);
      info.view_option = std::move(view->option);
      info.view_invalid = !view->valid;
    }
  }
  VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> columns, catalog.Columns(ref.object_id));
  for (CatalogColumn& column : columns) {
    column.info.default_sqlite = std::move(column.default_sqlite);
    info.columns.push_back(std::move(column.info));
  }
  return std::optional<TableInfo>(std::move(info));
}

std::optional<TableInfo> CatalogLookup::FindTable(std::string_view name) const {
  return Resolve(name).table;
}

bool CatalogLookup::IsUniqueColumn(std::string_view table, std::string_view column) const {
  Resolved resolved = Resolve(table);
  if (!resolved.table.has_value() || resolved.table->is_view) return false;
  std::optional<std::int64_t> id = ObjectIdFromPhysical(resolved.table->physical_name);
  if (!id.has_value()) return false;
  OraResult<std::vector<IndexInfo>> indexes = catalog_.IndexesOf(*id);
  if (!indexes.has_value()) return false;
  // A unique index of the catalogue is a UNIQUE index of SQLite, which no write gets past.
  return std::any_of(indexes->begin(), indexes->end(), [&](const IndexInfo& index) {
    return index.unique && index.columns.size() == 1 && index.columns[0] == column;
  });
}

std::optional<OraError> CatalogLookup::LookupError(std::string_view name) const {
  return Resolve(name).error;
}

CatalogLookup::Resolved CatalogLookup::Resolve(std::string_view name) const {
  // "OWNER.NAME" arrives as one name only when the translator passes it so.
  if (std::size_t dot = name.find('.'); dot != std::string_view::npos) {
    return ResolveIn(name.substr(0, dot), name.substr(dot + 1), true, 0);
  }
  return ResolveIn(user_, name, false, 0);
}

CatalogLookup::Resolved CatalogLookup::ResolveIn(std::string_view owner, std::string_view object,
                                                 bool qualified, int depth) const {
  auto found = catalog_.FindObject(owner, object);
  if (found.has_value() && found->has_value()) {
    if ((*found)->type == ObjectType::kSynonym) return Follow(**found, depth);
    auto info = LoadTableInfo(catalog_, **found);
    if (info.has_value() && info->has_value()) {
      if ((*info)->view_invalid) {
        return {std::nullopt,
                Ora(4063, fmt::format("view \"{}.{}\" has errors", (*info)->owner, (*info)->name))};
      }
      return {std::move(**info), std::nullopt};
    }
  }
  if (owner == user_ || owner == "SYS" || owner == "PUBLIC") {
    if (std::optional<TableInfo> view = FindDictionaryView(object, user_)) {
      return {view, std::nullopt};
    }
  }
  if (!qualified) {
    auto shared = catalog_.FindObject("PUBLIC", object);
    if (shared.has_value() && shared->has_value() && (*shared)->type == ObjectType::kSynonym) {
      return Follow(**shared, depth);
    }
  }
  return {};
}

CatalogLookup::Resolved CatalogLookup::Follow(const ObjectRef& synonym, int depth) const {
  // Longer chains than any schema needs are taken for a loop.
  constexpr int kMaxChain = 32;
  if (depth >= kMaxChain) return {std::nullopt, Ora(1775, "looping chain of synonyms")};
  auto target = catalog_.FindSynonymTarget(synonym.object_id);
  Resolved resolved;
  if (target.has_value() && target->has_value()) {
    resolved = ResolveIn((*target)->owner, (*target)->name, true, depth + 1);
  }
  if (!resolved.table && !resolved.error) {
    resolved.error = Ora(980, "synonym translation is no longer valid");
  }
  return resolved;
}

std::optional<SchemaLookup::SequenceName> CatalogLookup::FindSequence(std::string_view owner,
                                                                      std::string_view name) const {
  return owner.empty() ? SequenceIn(user_, name, false, 0) : SequenceIn(owner, name, true, 0);
}

std::optional<SchemaLookup::SequenceName> CatalogLookup::SequenceIn(std::string_view owner,
                                                                    std::string_view name,
                                                                    bool qualified,
                                                                    int depth) const {
  constexpr int kMaxChain = 32;
  if (depth >= kMaxChain) return std::nullopt;
  auto follow = [&](const ObjectRef& synonym) -> std::optional<SequenceName> {
    auto target = catalog_.FindSynonymTarget(synonym.object_id);
    if (!target.has_value() || !target->has_value()) return std::nullopt;
    return SequenceIn((*target)->owner, (*target)->name, true, depth + 1);
  };
  auto found = catalog_.FindObject(owner, name);
  if (found.has_value() && found->has_value()) {
    if ((*found)->type == ObjectType::kSequence) {
      return SequenceName{std::string(owner), std::string(name)};
    }
    if ((*found)->type == ObjectType::kSynonym) return follow(**found);
    return std::nullopt;
  }
  if (!qualified) {
    auto shared = catalog_.FindObject("PUBLIC", name);
    if (shared.has_value() && shared->has_value() && (*shared)->type == ObjectType::kSynonym) {
      return follow(**shared);
    }
  }
  return std::nullopt;
}

bool CatalogLookup::SequenceExists(std::string_view name) const {
  auto found = catalog_.FindSequence(user_, name);
  return found.has_value() && found->has_value();
}

}  // namespace volmek::engine
