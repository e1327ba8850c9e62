// COMMENT ON TABLE / COLUMN, CREATE [OR REPLACE] [PUBLIC] SYNONYM and DROP [PUBLIC] SYNONYM.
//
// Comments are kept in the catalogue (USER_TAB_COMMENTS, USER_COL_COMMENTS); '' removes one,
// and they go with their table. A synonym is an object of its owner (PUBLIC for public ones)
// in the namespace of tables, views and sequences, naming [owner.]object; the object need not
// exist when the synonym is made. Names resolve through CatalogLookup (dictionary.h).
#pragma once

#include "engine/runtime/ddl.h"

namespace volmek::engine {

class DdlParser;

// After COMMENT.
OraResult<DdlParse> CommentOn(EngineConnection& connection, DdlParser& parser);
// After [OR REPLACE] [PUBLIC] SYNONYM.
OraResult<DdlParse> CreateSynonym(EngineConnection& connection, DdlParser& parser, bool replace,
                                  bool is_public);
// After DROP [PUBLIC] SYNONYM.
OraResult<DdlParse> DropSynonym(EngineConnection& connection, DdlParser& parser, bool is_public);

}  // namespace volmek::engine
