// The managed table: the one shape in which the application's tables are created.
//
// A managed table D has a first column ID_D DEC(10,0) filled from the sequence ID_D, one column
// per field of its segment of the record (a sub-table first repeats the key columns), its data
// in the tablespace TBDATOS, a primary key on ID_D whose index has the fixed storage clause and
// lies in TBINDICES, and, when the record has key fields, the unique index DI on the key
// columns. An empty TBDATOS or TBINDICES leaves its tablespace clause out (the database would
// refuse "tablespace " with no name after it, and the key would never be created).
//
// Segment 0 of CLIENTES with the fields CODIGO (A, 6) and SALDO (numeric 9,2), TBDATOS=DATOS:
//
//   create table CLIENTES (
//    ID_CLIENTES   DEC(10,0),
//    CODIGO      CHAR (6) NULL,
//    SALDO      DEC  (9,2) NULL
//   )
//    tablespace DATOS
#pragma once

#include <string>
#include <string_view>

#include "maint/dictionary.h"

namespace volmek::maint {

inline constexpr std::string_view kStorageClause =
    "storage (initial 1000000 next 2000000 pctincrease 0)";

// "create sequence ID_D start with 1 increment by 1 nomaxvalue nocycle cache 10".
std::string CreateSequenceText(std::string_view table);

// The column line of a field: " NAME      CHAR (n) NULL" for type "A", otherwise
// " NAME      DEC  (n,d) NULL".
std::string ColumnLine(const Field& field);

// The create-table text of `table` for segment `segment_idx` (0: the table itself, k: its
// sub-table k, which first repeats the key columns that name a field of the record).
std::string CreateTableText(std::string_view table, const RecordEntry& entry,
                            std::size_t segment_idx, std::string_view tbdatos);

// "alter table D add primary key (ID_D) using index storage (...)" and, when `tbindices` is
// not empty, " tablespace " and its value.
std::string PrimaryKeyText(std::string_view table, std::string_view tbindices);

// The unique index DI on the key columns. REQUIRES: entry.keys is not empty.
std::string UniqueIndexText(std::string_view table, const RecordEntry& entry,
                            std::string_view tbindices);

// The fill of segment `segment_idx` of `table` from `source`: new identifiers from ID_table,
// the key columns for a sub-table, then the segment's fields.
std::string FillText(std::string_view table, std::string_view source, const RecordEntry& entry,
                     std::size_t segment_idx);

// The name of segment `segment_idx` of `table`: the table itself for 0, else the table
// followed by the segment number.
std::string SegmentTable(std::string_view table, std::size_t segment_idx);

}  // namespace volmek::maint
