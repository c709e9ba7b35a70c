// The song record belongs to the loader; this weak stand-in lets the engine's
// unit tests link on their own. The loader's strong definition, when linked
// in, takes its place.
#include "module.h"

__attribute__((weak)) ModuleRecord song;
