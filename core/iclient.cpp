#include "core/iclient.h"

#include "oss/sdk.h"

IClient::~IClient() {
    oss::ShutdownSdk();
}
