#include "TestWeb.h"
