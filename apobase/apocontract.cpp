#include "apocontract.h"
