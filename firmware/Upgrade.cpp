#include "firmware/Upgrade.h"

#include "app/ToolContext.h"

namespace qnl {

Upgrade::Upgrade(ToolContext& context) : ctx_(context) {}

}  // namespace qnl
