#include "core/services/logging.h"

Q_LOGGING_CATEGORY(lcKxView, "kxview")
