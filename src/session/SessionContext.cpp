#include "SessionContext.h"

SessionContext& Session() {
    static SessionContext session;
    return session;
}
