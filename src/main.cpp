// QUORIX: the gateway between web forums and CrossPoint's news spool.
#include "core/run_control.h"

int main(int argc, char** argv) { return quorix::core::RunMain(argc, argv); }
