// Table and dictionary generation: the columns of a laid-out copybook, the create-table text of
// its managed table and the XCAMPO rows that describe the columns.
//
// Every elementary item gives one column per occurrence. The column name is the item's name
// followed by one number per enclosing OCCURS group, outermost first, and then the item's own
// occurrence number when it has OCCURS itself:
//
//   05 T OCCURS 2.  10 B PIC X.  10 D PIC 9.          B1 D1 B2 D2
//   05 T OCCURS 2.  10 U OCCURS 3.  15 E PIC X.       E11 E12 E13 E21 E22 E23
//   05 T OCCURS 2.  10 F PIC X OCCURS 4.              F11 F12 F13 F14 F21 ... F24
//
// A REDEFINES entry and its subordinates give no column outside an OCCURS group: the bytes they
// describe already have their columns. Inside an OCCURS group a REDEFINES item is repeated
// with the group and gives its columns like any other item:
//
//   05 R OCCURS 2.  10 R1 PIC X.  10 R2 REDEFINES R1 PIC 9.  10 FILLER PIC X.
//                                                      R11 R21 FILLER11 R12 R22 FILLER12
//
// Groups give no column; their items do.
//
// The create-table text of CLIENTES with 05 CLI-CODIGO PIC 9(5). and
// 05 CLI-SALDO PIC S9(7)V99 COMP-3., TBDATOS set to DATOS (the last line is one line):
//
//   create table CLIENTES (
//    ID_CLIENTES   DEC(10,0),
//       CLI_CODIGO                    DEC  (5,0)   NULL,
//       CLI_SALDO                     DEC  (9,2)   NULL) storage (initial 1000000 next ...
//       ... 2000000 pctincrease 0)  tablespace DATOS
//
// and its XCAMPO rows (each ends with a blank and a line end):
//
//   insert into XCAMPO values ('CLIENTES', 0, 'CLI_CODIGO', 'CLI_CODIGO', 'N', ' ', 5, 0, ' ')
//   insert into XCAMPO values ('CLIENTES', 1, 'CLI_SALDO', 'CLI_SALDO', 'N', '3', 9, 2, 'S')
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "copybook/field.h"

namespace volmek::copybook {

// Oracle's limits that a generated table must keep.
inline constexpr std::size_t kMaxColumnName = 30;
inline constexpr std::int64_t kMaxDecimalDigits = 38;
inline constexpr std::int64_t kMaxCharLength = 2000;
inline constexpr std::size_t kMaxColumns = 1000;  // the identifier column included

struct Column {
  std::string name;
  std::size_t field = 0;  // index of the elementary entry in the field table
};

// The columns of `fields` (after the layout), in record order. Refuses, before anything is
// changed in the database, a table `table` whose columns Oracle would not create:
//   "La columna %s (linea %d del copy) pasa de 30 caracteres.\n"
//   "La columna %s (linea %d del copy) no es un nombre valido de columna.\n"
//   "La columna %s sale dos veces (lineas %d y %d del copy).\n"
//   "La columna %s coincide con el identificador de la tabla.\n"
//   "El campo %s (linea %d del copy) tiene %d digitos; una columna DEC admite 38.\n"
//   "El campo %s (linea %d del copy) ocupa %d caracteres; una columna CHAR admite 2000.\n"
//   "El campo %s (linea %d del copy) no tiene digitos.\n"
//   "La tabla %s tendria %d columnas; Oracle admite 1000.\n"
Result<std::vector<Column>> PlanColumns(const FieldTable& fields, std::string_view table);

// The column's definition line: four blanks, the name padded to 30 (and followed by at least
// one blank), the type ("CHAR " (n),
// "DEC  " (p,d), or "FLOAT" for COMP-1 and COMP-2 without picture), its size padded to 8 and
// "NULL,\n".
std::string ColumnDefinition(const Column& column, const FieldTable& fields);

// The create-table statement of the managed table `table`: its identifier column, the columns,
// the storage clause and, when `tbdatos` is not empty, " tablespace " and its value.
std::string CreateTableText(std::string_view table, const std::vector<Column>& columns,
                            const FieldTable& fields, std::string_view tbdatos);

// The XCAMPO row of column number `order` (from 0) under dictionary key `key`.
std::string XcampoInsertText(std::string_view key, std::size_t order, const Column& column,
                             const FieldTable& fields);

}  // namespace volmek::copybook
