// Placeholder until the dispatcher lands.
