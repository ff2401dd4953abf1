// Placeholder until the chipset loader lands.
