#include "cssupport/hostrt/recording/recording_host.h"
