#include "app/dispatcher.h"

#include <array>
#include <istream>
#include <ostream>

#include "app/all_tables.h"
#include "app/commands/commands.h"
#include "base/charset.h"
#include "base/text.h"
#include "base/version.h"
#include "db/session.h"

namespace volmek::app {

namespace {

constexpr std::array kOperations{
    Operation{"info", "INFO", Form::kTableOrAll, false, &RunInfo},
    Operation{"catalogo", "CATALOGO", Form::kOnce, false, &RunCatalogo},
    Operation{"genera", "GENERA", Form::kOnce, false, &RunGenera},
    Operation{"traspaso", "TRASPASO", Form::kOnce, false, &RunTraspaso},
    Operation{"estadis", "ESTADIS", Form::kTableOrAll, false, &RunEstadis},
    Operation{"sql", "SQL", Form::kOnce, true, &RunSql},
    Operation{"fsql", "FSQL", Form::kOnce, true, &RunFsql},
    Operation{"sort", "SORT", Form::kOwnSession, false, &RunSort},
    Operation{"imp", "IMP", Form::kTablesAllIsNoop, false, &RunImp},
    Operation{"exp", "EXP", Form::kTablesAllIsNoop, false, &RunExp},
    Operation{"add", "ADD", Form::kTables, false, &RunAdd},
    Operation{"backup", "BACKUP", Form::kTablesOrAll, false, &RunBackup},
    Operation{"restore", "RESTORE", Form::kTablesOrAll, false, &RunRestore},
    Operation{"salvalf", "SALVALF", Form::kOnce, false, &RunSalvalf},
    Operation{"repro", "REPRO", Form::kOnce, true, &RunRepro},
    Operation{"reproa", "REPROA", Form::kOnce, true, &RunReproa},
    Operation{"fiche", "FICHE", Form::kOnce, true, &RunFiche},
    Operation{"delete", "DELETE", Form::kOnce, true, &RunDelete},
    Operation{"borra", "BORRA", Form::kConfirmedAll, true, &RunBorra},
    Operation{"dupestru", "DUPESTRU", Form::kOnce, true, &RunDupestru},
    Operation{"creacpy", "CREACPY", Form::kOnce, true, &RunCreacpy},
};

constexpr std::string_view kUsage =
    "volmek. Acciones directas sobre ORACLE.\n"
    "Uso:    volmek <operacion> <paramentros> \n\n"
    "        catalogo all     Genera catalogo.sql, consulta campos tablas.\n"
    "        genera all       Genera n.sql traspasa .txt .bcp y generar carga.bat.\n"
    "        trapaso txt      Traspasa los fichero .txt a .bcp\n"
    "        add    <tablas>  Permite insertar filas (en formato.txt) en una tabla.\n"
    "        backup <tablas>  Realiza backup tablas en $BACKUP.\n"
    "        backup all       Backup de todas las tablas en $BACKUP.\n"
    "        borra <tabla>    Borra una tabla.\n"
    "        delete <tabla>   Limpia los registros de una tabla.\n"
    "        estadis <tabla>  Realiza estadisticas sobre una tabla.\n"
    "        estadis all      Estaditicas sobre todas las tablas.\n"
    "        exp <tabla>      Exportacion de una tabla.\n"
    "        fiche <fiche>    Realiza la ejecucion del fichero.\n"
    "        fsql <fiche>     Ejecuta cualquier fichero sql.\n"
    "        info <tabla>     Obtiene numero filas de una tabla.\n"
    "        info all         Obtiene numero filas de todas las tablas.\n"
    "        imp <tabla>      Importacion de una tabla.\n"
    "        repro <t1> <t2>  Efectua una copia de t1 a t2 (dicc. incluido).\n"
    "        reproa <t1> <t2> Copia de t1 a t2 adicionando.\n"
    "        restore <n.txt>  Restaura la tabla n desde n.txt.\n"
    "        restore all      Restaura todas las tablas con *.txt.\n"
    "        salvalf <t1>     Traspaso tabla a fichero LF.\n"
    "        sort -i1fiche1 -i2fiche2 -ofsali     \n"
    "        sql \"sente\"     Ejecuta cualquier sentencia sql.\n\n";

// The arguments with which a handler works on the one table `name`.
Args ForTable(const Args& args, std::string_view name) {
  Args table;
  table.operation = args.operation;
  table.params = {std::string(name)};
  table.first = std::string(name);
  return table;
}

// Counts the names whose handler failed without ending the run (a refused name, a missing
// file, rejected lines, a utility that failed: anything but kFatal), so that the pass goes on
// with the next name and the run still ends with status 1.
class FailedNames {
 public:
  Status Take(db::RunContext& ctx, Status status) {
    if (status.ok() || status.code() == Status::Code::kFatal) return status;
    ctx.out << status.message();
    ++failed_;
    // Whatever the failed name left uncommitted is undone, so that the commits of the names
    // after it never keep half of its work.
    return ctx.db().Rollback();
  }

  // After the pass: the work done for the other names is kept (the session is logged off, as at
  // the ordinary end) and the run fails without a further message.
  Status Finish(db::RunContext& ctx, Status pass) const {
    if (!pass.ok() || failed_ == 0) return pass;
    VOLMEK_RETURN_IF_ERROR(ctx.db().Close());
    return Status::Refused("");
  }

 private:
  int failed_ = 0;
};

Status CallPerParameter(db::RunContext& ctx, const Operation& op, const Args& args) {
  // The loop runs over a copy of the list the dispatcher owns, so each name is handled once,
  // in order, whatever the handler does.
  FailedNames failed;
  for (const std::string& param : args.params) {
    VOLMEK_RETURN_IF_ERROR(failed.Take(ctx, op.handler(ctx, ForTable(args, param))));
  }
  return failed.Finish(ctx, Status::Ok());
}

Status CallForEveryTable(db::RunContext& ctx, const Operation& op, const Args& args) {
  FailedNames failed;
  Status pass = ForEachTable(ctx, [&](std::string_view table) {
    return failed.Take(ctx, op.handler(ctx, ForTable(args, table)));
  });
  return failed.Finish(ctx, std::move(pass));
}

// The confirmation of `borra all`: only an answer beginning with "S" drops anything, and a
// standard input already at its end counts as no.
bool ConfirmDropAll(db::RunContext& ctx) {
  ctx.out << kDropAllQuestion;
  ctx.out.flush();
  std::string answer;
  if (!std::getline(ctx.in, answer)) return false;
  return !answer.empty() && answer[0] == 'S';
}

Status RunSteps(db::RunContext& ctx, const Operation& op, const Args& args) {
  switch (op.form) {
    case Form::kOnce:
    case Form::kOwnSession:
      return op.handler(ctx, args);
    case Form::kTableOrAll:
      return args.all ? CallForEveryTable(ctx, op, args) : op.handler(ctx, args);
    case Form::kTablesOrAll:
      return args.all ? CallForEveryTable(ctx, op, args) : CallPerParameter(ctx, op, args);
    case Form::kTablesAllIsNoop:
      return args.all ? Status::Ok() : CallPerParameter(ctx, op, args);
    case Form::kTables:
      return CallPerParameter(ctx, op, args);
    case Form::kConfirmedAll:
      // The handler makes the pass itself: it orders the drops over the whole list.
      if (!args.all) return op.handler(ctx, args);
      return ConfirmDropAll(ctx) ? op.handler(ctx, args) : Status::Ok();
  }
  return Status::Ok();
}

// Output that could not be written is a failed run: the user cannot see what it did.
Status CheckOutput(db::RunContext& ctx) {
  ctx.out.flush();
  if (ctx.out.good()) return Status::Ok();
  return Status::IoError("");
}

// Ends the run on a failed Status: its message, no commit, no log-off. Dropping the session
// without logging off loses the uncommitted work, as the end of the process would.
int Fail(db::RunContext& ctx, const Status& status) {
  ctx.out << status.message();
  ctx.out.flush();
  ctx.session.reset();
  return kExitFailure;
}

}  // namespace

std::span<const Operation> Operations() { return kOperations; }

const Operation* FindOperation(std::span<const Operation> operations, std::string_view name) {
  for (const Operation& op : operations) {
    if (name == op.lower || name == op.upper) return &op;
  }
  return nullptr;
}

const Operation* FindOperation(std::string_view name) { return FindOperation(kOperations, name); }

std::string_view UsageText() { return kUsage; }

Args PrepareArgs(std::span<const std::string> argv) {
  Args args;
  if (argv.empty()) return args;
  args.operation = argv[0];
  args.params.assign(argv.begin() + 1, argv.end());
  if (!args.params.empty()) args.first = UpperCase(args.params[0]);
  if (args.params.size() == 2) args.second = UpperCase(args.params[1]);
  args.all = args.first == "ALL";
  for (const std::string& param : args.params) {
    args.line += param;
    args.line += ' ';
  }
  return args;
}

int Dispatch(db::RunContext& ctx, std::span<const std::string> argv) {
  return Dispatch(ctx, argv, kOperations, &db::Session::Open);
}

int Dispatch(db::RunContext& ctx, std::span<const std::string> argv,
             std::span<const Operation> operations, const SessionOpener& open_session) {
  ctx.echo = ctx.env.Get("TEST").starts_with('1');
  if (argv.empty()) {
    ctx.out << kUsage;
    return kExitFailure;
  }
  // The two words of the usual conventions for a program; every other unknown name stays
  // silent.
  if (argv[0] == kHelpOption) {
    ctx.out << kUsage;
    return kExitOk;
  }
  if (argv[0] == kVersionOption) {
    ctx.out << VersionLine("volmek");
    return kExitOk;
  }
  Args args = PrepareArgs(argv);
  const Operation* op = FindOperation(operations, args.operation);
  if (op == nullptr) return kExitUnknownOperation;
  if (args.params.empty()) {
    ctx.out << kUsage;
    return kExitFailure;
  }
  // Text of an unknown encoding would be read and written wrongly: refuse before any work.
  Result<CharacterSet> charset = ClientCharacterSet(ctx.env);
  if (!charset.has_value()) return Fail(ctx, charset.error());
  ctx.charset = std::move(*charset);
  if (op->form == Form::kOwnSession) {
    Status status = op->handler(ctx, args);
    if (!status.ok()) return Fail(ctx, status);
    // A handler that left its session open gets the ordinary end: log off, which keeps its work.
    if (ctx.session != nullptr) status = ctx.db().Close();
    if (!status.ok()) return Fail(ctx, status);
    ctx.session.reset();
    return CheckOutput(ctx).ok() ? kExitOk : kExitFailure;
  }

  Result<std::unique_ptr<db::Session>> session = open_session(ctx.env, ctx.echo, ctx.out);
  if (!session.has_value()) return Fail(ctx, session.error());
  ctx.session = std::move(*session);

  Status status = RunSteps(ctx, *op, args);
  // A result the user could not read is not committed either.
  if (status.ok()) status = CheckOutput(ctx);
  if (status.ok() && op->commit) status = ctx.db().Commit();
  if (status.ok()) status = ctx.db().Close();
  if (!status.ok()) return Fail(ctx, status);
  ctx.session.reset();
  return CheckOutput(ctx).ok() ? kExitOk : kExitFailure;
}

}  // namespace volmek::app
