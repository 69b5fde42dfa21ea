// main() of a program built for one device generation (VELMI_DEVICE_GENERATION).
#include <velmi_device.h>

int main(int argc, char** argv) { return VelmiDeviceRunProgram(VELMI_DEVICE_GENERATION, argc, argv); }
