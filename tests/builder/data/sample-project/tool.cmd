@echo tool
