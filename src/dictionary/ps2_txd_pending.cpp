// Temporary definitions until rendering and export land in their own files; each is removed
// from here when its real definition arrives.
#include "dictionary/ps2_txd.h"
