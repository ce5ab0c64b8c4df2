#include "editor/ui/pelmora_app.h"

int main(int argc, char** argv) { return runPelmora(argc, argv); }
