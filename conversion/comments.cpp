#include "conversion/conversion.h"
#include "conversion/feature.h"
#include "conversion/host_ids.h"

namespace traskel {

using namespace host;

void AddComment(Run& run, const std::string& text) {
  run.addingLine = run.lineNumber;
  const Value added = run.CMDS.Call(ids::commands::kAdd, I4(kComment), Bool(true));
  run.cmdLine = run.lineNumber;  // the command is in the host, whatever follows
  run.Cmd = AsObject(added);
  Ref CommentData = AsObject(run.Cmd.Get(ids::command::kCommentPart));
  CommentData.Put(ids::comment_data::kKind, I4(3));
  run.Cmd.CallIgnoringResult(ids::command::kCommentFormat, I4(1), I4(165), I4(0));
  Value textArg = Str(text);
  CommentData.CallIgnoringResult(ids::comment_data::kSetLine, I4(1), ByRef(textArg));
}

}  // namespace traskel
