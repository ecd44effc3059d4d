// Mouse arrival handling of the device-arrival service.
