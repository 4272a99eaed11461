#include "web/RequestText.h"
