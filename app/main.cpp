#include "program/Program.h"

int main(int argc, char** argv) { return program::RunProgram(argc, argv); }
