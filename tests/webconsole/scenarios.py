# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
"""Scenarios of the web console's page, each in a browser session of its own,
checked in the state root's files afterwards."""
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--window-size=1280,900"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait_for(condition, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out")


def page(driver, url):
    """The page as the console's shell shows it, in its frame."""
    driver.get(url + "/lumen-mic")
    frame = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "iframe[name='cockpit1:localhost/lumen-mic']"))
    driver.switch_to.frame(frame[0])


def read_the_demo(driver, url, root):
    page(driver, url)
    text = wait_for(lambda: driver.find_elements(By.ID, "mic-now") and driver.find_element(By.ID, "mic-now").text)
    assert "enabled" in text, text
    assert wait_for(lambda: driver.find_element(By.ID, "max-level").text) == "63 / 63"


def main():
    name, url, root = sys.argv[1:4]
    driver = browser()
    try:
        globals()[name](driver, url, root)
    except Exception:
        driver.save_screenshot(f"/tmp/webconsole-{name}.png")
        raise
    finally:
        driver.quit()


if __name__ == "__main__":
    main()
