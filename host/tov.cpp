// tov: the command-line runner (being built).
#include "engine/tovengine.h"
int main() { return DoDaDllInit(nullptr, nullptr, 0x1300, tov::INIT_QUERY, 0, nullptr, nullptr) ? 0 : 2; }
