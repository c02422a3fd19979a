// The program's entry point: hands the program to the runtime and returns.
#include "runtime/qt/start.h"
#include "start/program.h"

int main(int argc, char** argv) {
  return lq::qt::Start(argc, argv, lq::TheProgram());
}
