// Placeholder: the operation is accepted and does nothing until its handler is built.
#include "app/commands/commands.h"

namespace volmek::app {

Status RunCreacpy(db::RunContext& /*ctx*/, const Args& /*args*/) { return Status::Ok(); }

}  // namespace volmek::app
