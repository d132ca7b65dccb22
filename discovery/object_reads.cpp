#include "object_reads.h"

#include "foundation/report.h"
#include "platform/rpc_uuid.h"

namespace orxdetect {

std::string uuid_text(const tng::RepositorySession::Property& property, Run& run, To to,
                      const char* bad) {
  if (property.type != WV_TYPE_UUID) return {};
  UUID binary{};
  if (UuidValueToBinary(property.value, binary.bytes) != WV_OK) return {};
  char* text = nullptr;
  if (UuidToStringA(&binary, &text) != RPC_S_OK) {
    run.out.say(to, "%s", bad);
    return {};
  }
  std::string copy(text);
  RpcStringFreeA(&text);
  return copy;
}

bool fetch_or_report(Run& run, bool& failed) {
  const auto fetch = run.session.next_object();
  failed = false;
  if (fetch.outcome == tng::RepositorySession::Fetch::Object) return true;
  if (fetch.outcome == tng::RepositorySession::Fetch::Failed) {
    tng::report_fetch_failed(run.out, fetch.rc);
    failed = true;
  }
  return false;
}

}  // namespace orxdetect
