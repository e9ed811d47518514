#include "run/run.h"
