// Placeholder until the generator lands.
