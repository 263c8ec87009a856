// Identity of the driver library as the Driver Manager and the setup library see it.
extern "C" __attribute__((visibility("default"))) const char quilldrv_version[] = "0.1.0";
