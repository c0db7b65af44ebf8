// A cargo plug-in as a loading program would ship it: it is handed the cargo figure to
// fill and the simulator link, which it only checks for being there.
extern "C" void LoadRfPCargo(int* cargo, void* link) {
    *cargo = link != nullptr ? 4321 : -1;
}
