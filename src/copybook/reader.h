// The copybook reader: a COBOL record description (a copybook) into the field table.
//
// Copybooks are fixed-format COBOL source: columns 1-6 hold a sequence number (or nothing),
// column 7 is the indicator ("*" and "/" comment lines, "D" debugging lines, "-" continuation
// lines), columns 8-72 the text and columns 73 on an identification area. Sequence and
// identification areas are ignored. A line whose first six columns are neither all blank nor
// free of blanks (say "05 A PIC X.") is taken whole from column 1, so that copybooks written
// from the first column are still read.
//
//   000100 01  NOMINA.                                                      NOMINA
//   000200     05  NOM-CODIGO         PIC 9(6).
//   000300     05  NOM-BRUTO          PIC S9(7)V99 PACKED-DECIMAL.
//   000400     05  NOM-TIPO           PIC X.
//   000500         88  NOM-FIJO       VALUE 'F'.
//
// An entry is a level number, an optional name (FILLER when it is left out) and clauses, and
// ends at its separator period; it may run over several lines. Keywords, picture symbols and
// names are recognised in any letter case; names are kept upper case, with "-" written "_"
// and IMP and MOD as K_IMP and K_MOD; every FILLER of the file is numbered: FILLER1, FILLER2...
//
// Clauses read: REDEFINES, OCCURS n [TO m] [TIMES] [DEPENDING ON] [KEY IS] [INDEXED BY],
// PIC/PICTURE [IS], USAGE [IS] and the usage words (COMP, COMP-1 to COMP-5, COMPUTATIONAL and
// COMPUTATIONAL-1 to -5, BINARY, PACKED-DECIMAL, DISPLAY), SIGN [IS] LEADING/TRAILING
// [SEPARATE [CHARACTER]], SYNC/SYNCHRONIZED [LEFT/RIGHT], JUST/JUSTIFIED [RIGHT],
// BLANK WHEN ZERO, VALUE/VALUES (passed over), EXTERNAL, GLOBAL. Level-88 and level-66 entries
// are passed over whole. Any other word ends the reading with a syntax error.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "base/environment.h"
#include "base/status.h"
#include "copybook/field.h"

namespace volmek::copybook {

// Reads the entries of a copybook's text. Fails with kInvalidInput and the message to print,
// line ends included:
//   "Campo (%s) no localizado [3].\n%s"   REDEFINES of a name found in no entry above
//   "Esperado \")\"\n%s"                  a picture count without its ")"
//   "Error de sintaxis en la linea %d: %s.\n%s"   any other fault, described
// where the last %s is the copybook line at fault, with its line end.
Result<FieldTable> ReadFields(std::istream& in);
Result<FieldTable> ReadFields(std::string_view text);

// The file of copybook `name`: KORVEL, "/copys/", the name and, when the name has no "." at
// all, ".cpy". Fails with "Definir variable de entorno KORVEL.\n\n" when KORVEL is empty.
Result<std::string> CopybookPath(const Environment& env, std::string_view name);

// Opens `path` and reads it. With `echo` prints "Apertura fichero [%s] \n" first. Fails with
// "Programa %s inexistente ...\n" when the file does not exist, "Error apertura programa %s
// ...\n" when it cannot be read, or as ReadFields.
Result<FieldTable> ReadCopybookFile(const std::string& path, bool echo, std::ostream& out);

// Name normalisation: every "-" becomes "_"; exactly IMP or MOD become K_IMP or K_MOD.
void NormalizeName(std::string& name);

}  // namespace volmek::copybook
