# Typing stubs; completed as the API lands.
