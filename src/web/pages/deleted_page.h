// Recently deleted, deleted.asp: the visitor's plans deleted in the day
// editor within the last kKeepDeletedDays days (data/plan_repository.h),
// the latest first, each with a button that restores it (a POST to the
// editor's "restore" action on the plan's day).
#pragma once

#include "web/pages/page_request.h"

namespace ostrand::web {

PageReply RenderDeletedPlans(PageRequest& request);

}  // namespace ostrand::web
