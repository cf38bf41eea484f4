#include "conversion/conversion.h"
#include "conversion/feature.h"

namespace traskel {

using namespace host;

void AddComment(Run& run, const std::string& text) {
  run.Cmd = AsObject(run.CMDS.Call(8, I4(kComment), Bool(true)));
  Ref CommentData = AsObject(run.Cmd.Get(53));
  CommentData.Put(1, I4(3));
  run.Cmd.CallIgnoringResult(93, I4(1), I4(165), I4(0));
  Value textArg = Str(text);
  CommentData.CallIgnoringResult(6, I4(1), ByRef(textArg));
}

}  // namespace traskel
